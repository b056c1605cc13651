#pragma once
// The section [SnmpV3Users]: further SNMPv3 users the trap receiver admits
// beside the user of [SnmpTrapReceiver], one line each:
//   Name=AuthProtocol;AuthPassword;PrivProtocol;PrivPassword
// split as account lines are (a ";" between quotation marks belongs to the
// field). The privacy fields stay empty for a user who sends AuthNoPriv
// only. A line that cannot be loaded is reported once with the user name
// and the faulty field, never a password, and left out; so is a name seen
// before, and every line beyond kMaxSnmpV3Users.

#include <cstddef>
#include <vector>

#include "config/IniFileIo.h"
#include "snmp/TrapAdmission.h"

namespace tavo {

// Each configured password keeps its key in the key cache, so that a
// datagram naming a user never costs a derivation; the bound keeps them all
// there.
constexpr std::size_t kMaxSnmpV3Users = 256;

// aLines: the section's "name=value" lines with their quotes kept
// (TOrvoIniFile::ReadSectionRawValues).
std::vector<TTrapUser> LoadSnmpV3Users(const TStringList& aLines);

}  // namespace tavo
