#pragma once
// tavot's command line against net-snmp's snmptrapd: the rows the Linux
// tavot and the Windows build's tavot.exe under Wine both run, each with
// snmptrapd's configuration and what its log must show.

#include <chrono>
#include <string>
#include <vector>

#include "NetSnmpPeer.h"

namespace tavo::test {

struct TavotTrapdRow {
  std::string Name;
  // tavot's options; "--port" and snmptrapd's port follow.
  std::vector<std::string> Args;
  std::string TrapdConfig;
  std::vector<std::string> TrapdArgs;
  // Texts snmptrapd's log must contain, compared without white space, since
  // it breaks long Hex-STRING values across lines.
  std::vector<std::string> Logged;
  // What tavot prints.
  std::string Printed = "Traps sent: 1\n";
};

// SNMPv1 and SNMPv2c with the community; SNMPv2c and SNMPv3 informs, which
// snmptrapd answers as the authoritative engine (tavot discovers its engine
// ID); and SNMPv3 AuthPriv traps with the default user and an engine ID: snmptrapd checks an
// authenticated trap's time only against an engine ID it knows, and createUser localises the keys
// for it. tavot's SNMPv3 traps carry no snmpTrapOID binding, so snmptrapd logs no trap line for
// them: its debug output shows the verified, decrypted bindings, and then why it stops there.
const std::vector<TavotTrapdRow>& TavotTrapdRows();

// Waits until aTrapd's log shows every text of aRow; the first text still
// missing then, or empty.
std::string MissingFromTrapdLog(const SnmpTrapd& aTrapd, const TavotTrapdRow& aRow,
                                std::chrono::milliseconds aTimeout = std::chrono::seconds(10));

}  // namespace tavo::test
