#pragma once
// The user the process runs as (its effective user). The system account,
// the one services run under by default, is "root".

#include <sys/types.h>
#include <string>

namespace tavo {

inline constexpr const char* kSystemAccount = "root";

// The name of the effective user; empty when the user database has none.
std::string ProcessUserName();
uid_t ProcessUserId();

}  // namespace tavo
