#pragma once
// The user the process runs as (its effective user). The system account,
// the one services run under by default, is "root" on Linux and "SYSTEM"
// on Windows (the local system account as GetUserNameW names it).

#include <cstdint>
#include <string>

namespace tavo {

#ifdef _WIN32
inline constexpr const char* kSystemAccount = "SYSTEM";
#else
inline constexpr const char* kSystemAccount = "root";
#endif

// A user's number where the system numbers users (uid_t on Linux).
using TUserId = std::uint32_t;
// Never a user: what ProcessUserId gives on Windows, whose accounts are
// security identifiers, not numbers.
inline constexpr TUserId kNoUserId = 0xFFFFFFFF;

// The name of the effective user; empty when the system names none.
std::string ProcessUserName();
TUserId ProcessUserId();

}  // namespace tavo
