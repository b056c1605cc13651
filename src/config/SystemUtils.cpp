#include "config/SystemUtils.h"

#include <cctype>
#include <climits>

#include "platform/Network.h"
#include "platform/Paths.h"
#include "platform/SystemPower.h"

namespace tavo {
namespace {
bool IsTrimmed(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}
}  // namespace

bool RebootSystem(std::uint16_t aFlags, bool aForce) {
  if (aForce)
    aFlags |= 0x10;
  return SystemPower().Reboot(aFlags);
}

std::string GetLocalIpAddress() {
  const std::string host = HostName();
  if (host.empty())
    return {};
  return FirstIPv4Address(host).value_or("127.0.0.1");
}

std::string CombinePath(const std::string& aBase, const std::string& aPath) {
  std::string joined;
  if (!aPath.empty() && aPath.front() == '/') {
    joined = aPath;
  } else {
    joined = ExtractFilePath(aBase) + aPath;
  }
  std::string result = NormalizePath(joined);
  if (result.size() > kMaxPath)
    return {};
  return result;
}

std::string UnquoteText(const std::string& aText, char aQuote) {
  const auto first = aText.find(aQuote);
  if (first == std::string::npos)
    return aText;
  std::string rest = aText.substr(first + 1);
  const auto second = rest.find(aQuote);
  if (second != std::string::npos)
    rest.resize(second);
  return rest;
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
    int d = -1;
    if (c >= '0' && c <= '9')
      d = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
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

bool IsDigitsOnly(std::string_view aText) {
  for (char c : aText) {
    if (c < '0' || c > '9')
      return false;
  }
  return true;
}

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

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace tavo
