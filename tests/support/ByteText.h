#pragma once
// Bytes as upper-case hex pairs separated by blanks ("30 03 02 01 00"), and
// back, for tests that compare wire formats.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavo::test {

inline std::string Hex(std::string_view aBytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char c : aBytes) {
    const auto b = static_cast<std::uint8_t>(c);
    if (!out.empty())
      out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

// Hex digit pairs; blanks, colons and line breaks between pairs are ignored.
inline std::string Unhex(std::string_view aText) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    return -1;
  };
  std::string out;
  int high = -1;
  for (char c : aText) {
    if (c == ' ' || c == ':' || c == '\n' || c == '\r' || c == '\t')
      continue;
    const int d = digit(c);
    if (d < 0)
      throw std::invalid_argument("not a hex digit in " + std::string(aText));
    if (high < 0) {
      high = d;
    } else {
      out += static_cast<char>(high * 16 + d);
      high = -1;
    }
  }
  if (high >= 0)
    throw std::invalid_argument("odd number of hex digits in " + std::string(aText));
  return out;
}

}  // namespace tavo::test
