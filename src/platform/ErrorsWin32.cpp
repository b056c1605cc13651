#include "platform/Errors.h"

#include <windows.h>

#include <cstring>

#include "platform/WideText.h"

namespace tavo {

std::string ErrnoText(const std::string& aWhat, int aCode) {
  char buf[256];
  // The C runtime's texts for its errno values; strerror_s is its thread-safe form.
  if (::strerror_s(buf, sizeof buf, aCode) != 0)
    buf[0] = '\0';
  return aWhat + ": " + buf + " (" + std::to_string(aCode) + ")";
}

std::string Win32ErrorText(const std::string& aWhat, unsigned long aCode) {
  wchar_t buf[512];
  // The system's table, in the user's language; no inserts, since the
  // arguments a text may name are not ours to give.
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             aCode, 0, buf, sizeof buf / sizeof buf[0], nullptr);
  while (n > 0 &&
         (buf[n - 1] == L'\r' || buf[n - 1] == L'\n' || buf[n - 1] == L' ' || buf[n - 1] == L'.'))
    --n;
  const std::string text = n > 0 ? WideToUtf8({buf, n}) : "error " + std::to_string(aCode);
  return aWhat + ": " + text + " (" + std::to_string(aCode) + ")";
}

}  // namespace tavo
