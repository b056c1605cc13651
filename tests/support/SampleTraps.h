#pragma once
// Sample SNMP traps for tests and benchmarks, built with the codec in one
// place: the traps TavoT sends with its defaults — SNMPv1, and SNMPv3 at
// each security level under any pair of protocols — as the settings of a
// sending record, the settings a receiving record needs to decode them, and
// the encoded datagram. Plain functions over the record the caller owns;
// any thread. Errors of the codec (ESnmpError for an empty password) reach
// the caller.

#include <string>
#include <vector>

#include "snmp/SnmpDefaults.h"
#include "snmp/SnmpMessage.h"

namespace tavo::test {

// TavoT's OID: the enterprise is kSampleOid.0, the message id binding .1 and
// the text binding .2.
inline constexpr char kSampleOid[] = "1.3.6.4.1.52814.8424";
// TavoT's default message text, in UTF-8 (Windows-1252 on the wire).
inline constexpr char kSampleText[] =
    "Text mit Umlauten & Sonderzeichen \xC3\x84\xC3\xA4\xC3\xA0\xC3\x9C\xC3\xB6\xC3\xA9 "
    "\xE2\x82\xAC$\xC2\xA3";

// What a sample is; the defaults are TavoT's, with the receiver's default
// SNMPv3 user (snmp/SnmpDefaults.h). Flags, protocols, user and passwords
// count for SNMPv3 only, the community for SNMPv1 and SNMPv2c.
struct SampleTrap {
  int Version = 0;  // as on the wire: 0 SNMPv1, 1 SNMPv2c, 3 SNMPv3
  TV3Flags Flags = TV3Flags::AuthNoPriv;
  TV3Auth Auth = TV3Auth::AuthMD5;
  TV3Priv Priv = TV3Priv::PrivDES;
  std::string Community = "public";
  std::string User = kDefaultTrapUserName;
  std::string AuthPassword = kDefaultTrapUserPassword;
  std::string PrivPassword = kDefaultTrapPrivacyPassword;
};

SampleTrap SampleV1();
SampleTrap SampleV3(TV3Flags aFlags, TV3Auth aAuth = TV3Auth::AuthMD5,
                    TV3Priv aPriv = TV3Priv::PrivDES);
// For failure messages: "SNMPv1", "SNMPv3 AuthPriv SHA/AES", ...
std::string SampleName(const SampleTrap& aSample);
// SNMPv1 and SNMPv3 at each security level (MD5, DES).
std::vector<SampleTrap> SampleTrapKinds();
// SNMPv3 AuthPriv under each pair of MD5/SHA and DES/3DES/AES.
std::vector<SampleTrap> SampleAuthPrivTraps();

// Sets aRec up to send aSample: version, PDU type and community; for SNMPv1
// TavoT's enterprise, specific trap 8424 and a fixed uptime; for SNMPv3 the
// user, both passwords, the level and the protocols. Bindings are left as
// they are.
void SetSampleSender(TSNMPRec& aRec, const SampleTrap& aSample);
// Sets aRec up to decode aSample: its protocols and privacy password.
void SetSampleReceiver(TSNMPRec& aRec, const SampleTrap& aSample);
// Appends TavoT's bindings to a record set up as sender: for SNMPv3 the
// NULL binding kSampleOid.0 first, then message id .1 = 100 and kSampleText
// as .2.
void AddTavotBindings(TSNMPRec& aRec);
// The datagram of aSample with TavoT's bindings.
std::string EncodeSample(const SampleTrap& aSample);

}  // namespace tavo::test
