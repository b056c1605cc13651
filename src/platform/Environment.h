#pragma once
// The process's environment variables, read only. Thread-safe as long as
// nothing in the process changes its environment.

#include <string>

namespace tavo {

// The value of aName; aDefault when it is not set or empty.
std::string EnvironmentValue(const char* aName, const std::string& aDefault = std::string());

}  // namespace tavo
