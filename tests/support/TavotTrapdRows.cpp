#include "TavotTrapdRows.h"

#include "ByteText.h"
#include "WaitFor.h"
#include "platform/TextCodec.h"
#include "snmp/SnmpDefaults.h"

namespace tavo::test {
namespace {

constexpr const char* kEngineId = "0x8000000001020304";

// tavot's default text, which goes out in Windows-1252: no UTF-8, so
// snmptrapd shows it as hex.
std::string DefaultTextLogged() {
  const std::string text = Utf8ToCp1252(
      "Text mit Umlauten & Sonderzeichen \xC3\x84\xC3\xA4\xC3\xA0\xC3\x9C\xC3\xB6\xC3\xA9 "
      "\xE2\x82\xAC$\xC2\xA3");
  return ".1.3.6.4.1.52814.8424.2 = Hex-STRING: " + Hex(text);
}

}  // namespace

const std::vector<TavotTrapdRow>& TavotTrapdRows() {
  // SNMPv2 notifications: sysUpTime.0 and snmpTrapOID.0 first.
  const std::vector<std::string> v2Logged = {
      ".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.4.1.52814.8424.0",
      ".1.3.6.4.1.52814.8424.1 = INTEGER: 100", DefaultTextLogged()};
  // Keys localised to snmptrapd's own engine ID, which answers informs.
  const std::string informUsers =
      std::string("createUser ") + kDefaultTrapUserName + " MD5 " + kDefaultTrapUserPassword +
      " DES " + kDefaultTrapPrivacyPassword + "\nauthUser log " + kDefaultTrapUserName +
      "\ncreateUser sha2user SHA-512 sha2-auth-pass AES-256 sha2-priv-pass\n"
      "authUser log sha2user priv\n";
  static const std::vector<TavotTrapdRow> rows = {
      {"SNMPv2c", {"--v2c"}, "authCommunity log public\n", {}, v2Logged},
      {"SNMPv2cInform",
       {"--v2c", "--inform"},
       "authCommunity log public\n",
       {},
       v2Logged,
       "Informs answered: 1\n"},
      {"SNMPv3InformAuthNoPriv",
       {"--v3", "--inform"},
       informUsers,
       {},
       v2Logged,
       "Informs answered: 1\n"},
      {"SNMPv3InformSha512Aes256",
       {"--v3", "--inform", "--level", "AuthPriv", "--user", "sha2user", "--password",
        "sha2-auth-pass", "--priv-password", "sha2-priv-pass", "--auth-protocol", "SHA-512",
        "--priv-protocol", "AES-256"},
       informUsers,
       {},
       v2Logged,
       "Informs answered: 1\n"},
      {"SNMPv1",
       {"--v1"},
       "authCommunity log public\n",
       {},
       {"TRAP, SNMP v1, community public",
        ".1.3.6.4.1.52814.8424.0 Enterprise Specific Trap (8424)",
        ".1.3.6.4.1.52814.8424.1 = INTEGER: 100", DefaultTextLogged()}},
      {"SNMPv3AuthPriv",
       {"--v3", "--level", "AuthPriv", "--engine-id", kEngineId},
       std::string("createUser -e ") + kEngineId + " " + kDefaultTrapUserName + " MD5 " +
           kDefaultTrapUserPassword + " DES " + kDefaultTrapPrivacyPassword + "\nauthUser log " +
           kDefaultTrapUserName + " priv\n",
       {"-Dusm,dumpv_recv"},
       {"usm: Verification succeeded.", "ObjID: .1.3.6.4.1.52814.8424.1 Integer: 100 (0x64)",
        // The debug output shows bytes above 0x7E as dots.
        "ObjID: .1.3.6.4.1.52814.8424.2 String: Text mit Umlauten & Sonderzeichen ...... .$.",
        "Cannot find TrapOID in TRAP2 PDU"}},
  };
  return rows;
}

std::string MissingFromTrapdLog(const SnmpTrapd& aTrapd, const TavotTrapdRow& aRow,
                                std::chrono::milliseconds aTimeout) {
  std::string missing;
  WaitFor(
      [&] {
        const std::string log = WithoutWhitespace(aTrapd.Log());
        missing.clear();
        for (const std::string& text : aRow.Logged) {
          if (log.find(WithoutWhitespace(text)) == std::string::npos) {
            missing = text;
            break;
          }
        }
        return missing.empty();
      },
      aTimeout);
  return missing;
}

}  // namespace tavo::test
