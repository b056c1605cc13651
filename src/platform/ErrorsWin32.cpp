#include "platform/Errors.h"

#include <cstring>

namespace tavo {

std::string ErrnoText(const std::string& aWhat, int aCode) {
  char buf[256];
  // The C runtime's texts for its errno values; strerror_s is its thread-safe form.
  if (::strerror_s(buf, sizeof buf, aCode) != 0)
    buf[0] = '\0';
  return aWhat + ": " + buf + " (" + std::to_string(aCode) + ")";
}

}  // namespace tavo
