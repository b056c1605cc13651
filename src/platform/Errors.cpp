#include "platform/Errors.h"

#include <cstring>

namespace tavo {

std::string OSErrorText(int aCode) {
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  return strerror_r(aCode, buf, sizeof buf);
}

std::string ErrnoText(const std::string& aWhat, int aCode) {
  return aWhat + ": " + OSErrorText(aCode) + " (" + std::to_string(aCode) + ")";
}

}  // namespace tavo
