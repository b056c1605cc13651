#include "platform/TextCodec.h"

#include <array>
#include <cstdint>

namespace tavo {
namespace {

// Windows-1252 0x80..0x9F; 0 marks the bytes the code page leaves undefined.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& aOut, char32_t aCp) {
  if (aCp < 0x80) {
    aOut += static_cast<char>(aCp);
  } else if (aCp < 0x800) {
    aOut += static_cast<char>(0xC0 | (aCp >> 6));
    aOut += static_cast<char>(0x80 | (aCp & 0x3F));
  } else if (aCp < 0x10000) {
    aOut += static_cast<char>(0xE0 | (aCp >> 12));
    aOut += static_cast<char>(0x80 | ((aCp >> 6) & 0x3F));
    aOut += static_cast<char>(0x80 | (aCp & 0x3F));
  } else {
    aOut += static_cast<char>(0xF0 | (aCp >> 18));
    aOut += static_cast<char>(0x80 | ((aCp >> 12) & 0x3F));
    aOut += static_cast<char>(0x80 | ((aCp >> 6) & 0x3F));
    aOut += static_cast<char>(0x80 | (aCp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at aPos. Returns false for an invalid one
// (overlong forms, surrogates and values above U+10FFFF included).
bool NextCodePoint(std::string_view aText, std::size_t& aPos, char32_t& aCp) {
  const auto b0 = static_cast<unsigned char>(aText[aPos]);
  if (b0 < 0x80) {
    aCp = b0;
    ++aPos;
    return true;
  }
  int len = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, aCp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, aCp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, aCp = b0 & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (aPos + len > aText.size())
    return false;
  for (int i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(aText[aPos + i]);
    if ((b & 0xC0) != 0x80)
      return false;
    aCp = (aCp << 6) | (b & 0x3F);
  }
  if (aCp < min || aCp > 0x10FFFF || (aCp >= 0xD800 && aCp <= 0xDFFF))
    return false;
  aPos += len;
  return true;
}

}  // namespace

bool IsValidUtf8(std::string_view aBytes) {
  std::size_t pos = 0;
  char32_t cp = 0;
  while (pos < aBytes.size()) {
    if (!NextCodePoint(aBytes, pos, cp))
      return false;
  }
  return true;
}

std::string Cp1252ToUtf8(std::string_view aBytes) {
  std::string out;
  out.reserve(aBytes.size() + aBytes.size() / 4);
  for (char c : aBytes) {
    const auto b = static_cast<unsigned char>(c);
    char32_t cp = b;
    if (b >= 0x80 && b <= 0x9F && kHighControls[b - 0x80] != 0)
      cp = kHighControls[b - 0x80];
    AppendUtf8(out, cp);
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view aText) {
  std::string out;
  out.reserve(aText.size());
  std::size_t pos = 0;
  while (pos < aText.size()) {
    char32_t cp = 0;
    if (!NextCodePoint(aText, pos, cp)) {
      out += '?';
      ++pos;
      continue;
    }
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
      // Undefined slots round-trip as the C1 control of the same value.
      if (kHighControls[i] == cp || (kHighControls[i] == 0 && cp == 0x80 + i)) {
        mapped = static_cast<char>(0x80 + i);
        break;
      }
    }
    out += mapped;
  }
  return out;
}

std::string SanitizeUtf8(std::string_view aBytes) {
  std::string out;
  out.reserve(aBytes.size());
  std::size_t pos = 0;
  while (pos < aBytes.size()) {
    const std::size_t start = pos;
    char32_t cp = 0;
    if (NextCodePoint(aBytes, pos, cp)) {
      out.append(aBytes.substr(start, pos - start));
    } else {
      AppendUtf8(out, 0xFFFD);
      pos = start + 1;
    }
  }
  return out;
}

std::string ReceivedTextToUtf8(std::string_view aBytes) {
  return IsValidUtf8(aBytes) ? std::string(aBytes) : Cp1252ToUtf8(aBytes);
}

std::string Utf16ToUtf8(std::string_view aBytes, bool aBigEndian) {
  std::string out;
  out.reserve(aBytes.size());
  auto unit = [&](std::size_t i) -> char16_t {
    const auto lo = static_cast<unsigned char>(aBytes[aBigEndian ? i + 1 : i]);
    const auto hi = static_cast<unsigned char>(aBytes[aBigEndian ? i : i + 1]);
    return static_cast<char16_t>(hi << 8 | lo);
  };
  const std::size_t n = aBytes.size() / 2;
  for (std::size_t k = 0; k < n; ++k) {
    char32_t u = unit(2 * k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
      const char32_t v = unit(2 * (k + 1));
      if (v >= 0xDC00 && v <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++k;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF)
      u = 0xFFFD;
    AppendUtf8(out, u);
  }
  return out;
}

std::size_t Utf16Length(std::string_view aUtf8) {
  std::size_t units = 0;
  for (char c : aUtf8) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80)
      ++units;  // a lead byte starts a character
    if ((b & 0xF8) == 0xF0)
      ++units;  // four-byte forms need a surrogate pair
  }
  return units;
}

std::string Utf16Left(std::string_view aUtf8, std::size_t aUnits) {
  std::size_t units = 0;
  std::size_t pos = 0;
  while (pos < aUtf8.size()) {
    const auto b = static_cast<unsigned char>(aUtf8[pos]);
    const std::size_t need = (b & 0xF8) == 0xF0 ? 2 : 1;
    if (units + need > aUnits)
      break;
    units += need;
    ++pos;
    while (pos < aUtf8.size() && (static_cast<unsigned char>(aUtf8[pos]) & 0xC0) == 0x80)
      ++pos;
  }
  return std::string(aUtf8.substr(0, pos));
}

std::string DecodeTextBytes(std::string_view aBytes) {
  if (aBytes.starts_with("\xEF\xBB\xBF"))
    return SanitizeUtf8(aBytes.substr(3));
  if (aBytes.starts_with("\xFF\xFE"))
    return Utf16ToUtf8(aBytes.substr(2), false);
  if (aBytes.starts_with("\xFE\xFF"))
    return Utf16ToUtf8(aBytes.substr(2), true);
  return ReceivedTextToUtf8(aBytes);
}

}  // namespace tavo
