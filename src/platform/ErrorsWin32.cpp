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

std::string OSErrorText(int aCode) {
  // The platform's codes here are the Win32 ones (GetLastError and
  // WSAGetLastError), whose texts are the system's messages in the user's
  // language; no inserts, since the arguments a text may name are not ours
  // to give.
  wchar_t buf[512];
  DWORD n =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(aCode), 0, buf, sizeof buf / sizeof buf[0], nullptr);
  while (n > 0 &&
         (buf[n - 1] == L'\r' || buf[n - 1] == L'\n' || buf[n - 1] == L' ' || buf[n - 1] == L'.'))
    --n;
  if (n == 0)
    return "Error " + std::to_string(static_cast<unsigned long>(aCode));
  return WideToUtf8({buf, n});
}

std::string Win32ErrorText(const std::string& aWhat, unsigned long aCode) {
  return aWhat + ": " + OSErrorText(static_cast<int>(aCode)) + " (" + std::to_string(aCode) + ")";
}

}  // namespace tavo
