#include "platform/Environment.h"

#include <cstdlib>

namespace tavo {

std::string EnvironmentValue(const char* aName, const std::string& aDefault) {
  const char* value = std::getenv(aName);
  return value && *value ? std::string(value) : aDefault;
}

}  // namespace tavo
