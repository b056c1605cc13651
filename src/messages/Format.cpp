#include "messages/Format.h"

#include <charconv>

namespace tavo {
namespace {

[[noreturn]] void Invalid(std::string_view aFormat) {
  throw EConvertError("Format '" + std::string(aFormat) +
                      "' invalid or incompatible with argument");
}

std::string Digits(std::int64_t aValue, bool aHex) {
  char buf[32];
  if (aHex) {
    // Negative values print as their 32-bit two's complement when they fit,
    // as an integer argument would.
    const std::uint64_t u = (aValue < 0 && aValue >= INT32_MIN)
                                ? static_cast<std::uint32_t>(aValue)
                                : static_cast<std::uint64_t>(aValue);
    const auto r = std::to_chars(buf, buf + sizeof buf, u, 16);
    std::string hex(buf, r.ptr);
    for (char& c : hex) {
      if (c >= 'a' && c <= 'f')
        c = static_cast<char>(c - 'a' + 'A');
    }
    return hex;
  }
  const std::uint64_t mag =
      aValue < 0 ? 0 - static_cast<std::uint64_t>(aValue) : static_cast<std::uint64_t>(aValue);
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, mag).ptr);
}

}  // namespace

std::string Format(std::string_view aFormat, std::span<const TFormatArg> aArgs) {
  std::string out;
  out.reserve(aFormat.size() + 16 * aArgs.size());
  std::size_t next = 0;
  std::size_t i = 0;
  while (i < aFormat.size()) {
    const char c = aFormat[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i >= aFormat.size())
      Invalid(aFormat);
    if (aFormat[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    bool left = false;
    if (aFormat[i] == '-') {
      left = true;
      ++i;
    }
    std::size_t width = 0;
    while (i < aFormat.size() && aFormat[i] >= '0' && aFormat[i] <= '9') {
      width = width * 10 + static_cast<std::size_t>(aFormat[i++] - '0');
      if (width > 1000)
        Invalid(aFormat);
    }
    std::size_t precision = 0;
    bool hasPrecision = false;
    if (i < aFormat.size() && aFormat[i] == '.') {
      hasPrecision = true;
      ++i;
      while (i < aFormat.size() && aFormat[i] >= '0' && aFormat[i] <= '9') {
        precision = precision * 10 + static_cast<std::size_t>(aFormat[i++] - '0');
        if (precision > 1000)
          Invalid(aFormat);
      }
    }
    if (i >= aFormat.size() || next >= aArgs.size())
      Invalid(aFormat);
    const char type = aFormat[i++];
    const TFormatArg& arg = aArgs[next++];
    std::string piece;
    switch (type) {
      case 's':
      case 'S':
        if (!arg.IsText())
          Invalid(aFormat);
        piece = arg.Text();
        if (hasPrecision && piece.size() > precision)
          piece.resize(precision);
        break;
      case 'd':
      case 'D':
      case 'x':
      case 'X': {
        if (arg.IsText())
          Invalid(aFormat);
        const bool hex = type == 'x' || type == 'X';
        std::string digits = Digits(arg.Value(), hex);
        if (digits.size() < precision)
          digits.insert(0, precision - digits.size(), '0');
        piece = (!hex && arg.Value() < 0) ? "-" + digits : digits;
        break;
      }
      default:
        Invalid(aFormat);
    }
    if (piece.size() < width) {
      piece.insert(left ? piece.size() : 0, width - piece.size(), ' ');
    }
    out += piece;
  }
  if (next != aArgs.size())
    Invalid(aFormat);
  return out;
}

}  // namespace tavo
