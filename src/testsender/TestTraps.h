#pragma once
// The test traps of TavoT, shared by its window and its command line. A
// trap names its base OID; base + ".1" carries the message id as INTEGER and
// base + ".2" the text as OCTET STRING (Windows-1252), the shape a Tavo
// client counts. The SNMPv3 defaults are those of Tavo's default receiver
// user, so a default receiver admits the traps.
//
// Each send makes a fresh endpoint and frees it whatever happens; every trap
// therefore carries request-id 1 (and msgID 1). Main thread or any single
// thread; no shared state.

#include <cstdint>
#include <memory>
#include <string>

#include "snmp/SnmpDefaults.h"
#include "snmp/SnmpEndpoint.h"
#include "snmp/SnmpMessage.h"

namespace tavo {

// The fields of the window, with its defaults. Texts are UTF-8.
struct TTestTrapSettings {
  std::string Host = "127.0.0.1";
  std::string Port = std::to_string(kTestTrapPort);
  std::string Community = "public";
  std::string UserName = kDefaultTrapUserName;
  std::string UserPwd = kDefaultTrapUserPassword;
  TV3Flags Flags = TV3Flags::AuthNoPriv;
  // Not in the window: AuthPriv test traps carry the privacy password of
  // the receiver's default user, so that they decrypt there.
  std::string PrivPwd = kDefaultTrapPrivacyPassword;
  // Not in the window: the SNMPv3 engine ID as bytes, empty as the record's
  // default. Receivers other than Tavo (snmptrapd) check an authenticated
  // trap's time only against an engine ID and drop it without one.
  std::string EngineId;
  // Not in the window: the SNMPv3 protocols (the receiver's defaults).
  TV3Auth AuthMode = TV3Auth::AuthMD5;
  TV3Priv PrivMode = TV3Priv::PrivDES;
  std::string Oid = "1.3.6.4.1.52814.8424";
  std::string MsgId = "100";
  std::string MsgText =
      "Text mit Umlauten & Sonderzeichen \xC3\x84\xC3\xA4\xC3\xA0\xC3\x9C\xC3\xB6\xC3\xA9 "
      "\xE2\x82\xAC$\xC2\xA3";
};

// A fresh endpoint aimed at the settings' host and port.
std::unique_ptr<TSNMPSend> NewEndpoint(const TTestTrapSettings& aSettings);

// A window's send: one trap by aSend, whose result is not looked at (UDP
// gives no feedback). Empty when it went out; else the text of what it
// raised, for the window's error box.
std::string SendForWindow(bool (*aSend)(const TTestTrapSettings&),
                          const TTestTrapSettings& aSettings);
// The window's counter text.
std::string TrapsSentText(std::int32_t aCount);

// The names of the type list, in the order of TV3Flags.
extern const char* const kSecurityLevelNames[3];

// Sends one SNMPv1 Trap-PDU: enterprise base + ".0", generic 6, specific
// 8424, agent address 0.0.0.0, time-stamp the millisecond tick count, the id
// and text bindings. SNMPv3: an SNMPv2-Trap-PDU with base + ".0" as NULL,
// then id and text, at the level of aSettings.Flags, with aSettings.EngineId
// (empty by default) as the engine ID.
// True when the datagram was handed to the network (false: unresolvable
// host, bad port, refused send). An encoding error (ESnmpError, e.g. an empty
// password with AuthNoPriv) propagates, and nothing is sent.
bool SendTestTrapV1(const TTestTrapSettings& aSettings);
bool SendTestTrapV3(const TTestTrapSettings& aSettings);

}  // namespace tavo
