#include "platform/Errors.h"

#include <cstring>

namespace tavo {

std::string ErrnoText(const std::string& aWhat, int aCode) {
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(aCode, buf, sizeof buf);
  return aWhat + ": " + text + " (" + std::to_string(aCode) + ")";
}

}  // namespace tavo
