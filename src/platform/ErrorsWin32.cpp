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
  // The platform's codes here are the Win32 ones (GetLastError), whose texts
  // are the system's messages; inserts are left alone, as no arguments come.
  wchar_t buf[512];
  const DWORD n =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(aCode), 0, buf, sizeof buf / sizeof buf[0], nullptr);
  std::wstring text(buf, n);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                           text.back() == L'.'))
    text.pop_back();
  if (text.empty())
    return "Error " + std::to_string(static_cast<unsigned long>(aCode));
  return WideToUtf8(text);
}

}  // namespace tavo
