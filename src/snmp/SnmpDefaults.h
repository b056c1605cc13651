#pragma once
// The values in which Tavo's receiver and the test sender must agree out of
// the box: the SNMPv3 user the receiver admits when [SnmpTrapReceiver] names
// none, with its passwords, and the port the test sender sends to, which
// the example configuration's receiver listens on.

#include <cstdint>

namespace tavo {

inline constexpr const char* kDefaultTrapUserName = "TavoSnmpTrap";
inline constexpr const char* kDefaultTrapUserPassword = "4TorfBalunixe!";
inline constexpr const char* kDefaultTrapPrivacyPassword = "QuastelbrinkSorgenlaufwer";
inline constexpr std::uint16_t kTestTrapPort = 55162;

}  // namespace tavo
