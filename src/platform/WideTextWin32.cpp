#include "platform/WideText.h"

#include <windows.h>

#include <climits>

namespace tavo {

// Without MB_ERR_INVALID_CHARS both directions replace what they cannot
// convert (bad UTF-8, lone surrogates) with U+FFFD instead of failing.

std::wstring Utf8ToWide(std::string_view aUtf8) {
  if (aUtf8.empty() || aUtf8.size() > INT_MAX)
    return {};
  const int size = static_cast<int>(aUtf8.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, aUtf8.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, aUtf8.data(), size, out.data(), n);
  return out;
}

std::string WideToUtf8(std::wstring_view aWide) {
  if (aWide.empty() || aWide.size() > INT_MAX)
    return {};
  const int size = static_cast<int>(aWide.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, aWide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, aWide.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace tavo
