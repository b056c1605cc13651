#include "platform/TextUtils.h"

#include <climits>

namespace tavo {
namespace {

bool IsTrimmed(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

char LowerChar(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string TrimText(std::string_view aText) {
  return TrimLeftText(TrimRightText(aText));
}

std::string TrimLeftText(std::string_view aText) {
  std::size_t b = 0;
  while (b < aText.size() && IsTrimmed(aText[b]))
    ++b;
  return std::string(aText.substr(b));
}

std::string TrimRightText(std::string_view aText) {
  std::size_t e = aText.size();
  while (e > 0 && IsTrimmed(aText[e - 1]))
    --e;
  return std::string(aText.substr(0, e));
}

std::string TrimChars(std::string_view aText, std::string_view aChars) {
  const auto first = aText.find_first_not_of(aChars);
  if (first == std::string_view::npos)
    return {};
  const auto last = aText.find_last_not_of(aChars);
  return std::string(aText.substr(first, last - first + 1));
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerChar(a[i]) != LowerChar(b[i]))
      return false;
  }
  return true;
}

std::string LowerAscii(std::string_view aText) {
  std::string out(aText);
  for (char& c : out)
    c = LowerChar(c);
  return out;
}

std::optional<std::int32_t> TryStrToInt(std::string_view aText) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < aText.size() && (aText[pos] == '+' || aText[pos] == '-'))
    negative = aText[pos++] == '-';
  int base = 10;
  if (pos < aText.size() && aText[pos] == '$') {
    base = 16;
    ++pos;
  } else if (pos + 1 < aText.size() && aText[pos] == '0' &&
             (aText[pos + 1] == 'x' || aText[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  if (pos >= aText.size())
    return std::nullopt;
  long long value = 0;
  for (; pos < aText.size(); ++pos) {
    const char c = aText[pos];
    const int d = base == 16 ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0)
      return std::nullopt;
    value = value * base + d;
    if (value > 0x80000000LL)
      return std::nullopt;  // beyond every 32-bit value
  }
  if (negative)
    value = -value;
  if (value < INT32_MIN || value > INT32_MAX)
    return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::string HexText(std::string_view aBytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(aBytes.size() * 2);
  for (unsigned char c : aBytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
  }
  return out;
}

std::optional<std::string> HexToBytes(std::string_view aHex, std::size_t* aBadIndex) {
  if (aHex.size() % 2 != 0) {
    if (aBadIndex)
      *aBadIndex = std::string_view::npos;
    return std::nullopt;
  }
  for (std::size_t i = 0; i < aHex.size(); ++i) {
    if (HexDigit(aHex[i]) < 0) {
      if (aBadIndex)
        *aBadIndex = i;
      return std::nullopt;
    }
  }
  std::string out;
  out.reserve(aHex.size() / 2);
  for (std::size_t i = 0; i < aHex.size(); i += 2)
    out += static_cast<char>(HexDigit(aHex[i]) << 4 | HexDigit(aHex[i + 1]));
  return out;
}

}  // namespace tavo
