#pragma once
// UTF-8 text to and from the UTF-16 wide strings of the Windows API, where
// wchar_t is 16 bits: the Win32 halves of the platform call the W functions
// and keep UTF-8 everywhere else. Windows only. Pure functions, any thread;
// a sequence that cannot be converted becomes U+FFFD, nothing throws.

#include <string>
#include <string_view>

namespace tavo {

std::wstring Utf8ToWide(std::string_view aUtf8);
std::string WideToUtf8(std::wstring_view aWide);

}  // namespace tavo
