#pragma once
// Small text routines every layer shares: trimming, ASCII case, the integer
// parser of configuration values, and hexadecimal digits. Pure functions;
// none of them throws.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavo {

// Leading and trailing characters with codes 0-32 removed.
std::string TrimText(std::string_view aText);
// Leading / trailing ones only.
std::string TrimLeftText(std::string_view aText);
std::string TrimRightText(std::string_view aText);
// Leading and trailing characters found in aChars removed.
std::string TrimChars(std::string_view aText, std::string_view aChars);

// ASCII case-insensitive comparison; other bytes compare as they are.
bool SameText(std::string_view a, std::string_view b);
// A-Z become a-z; every other byte stays.
std::string LowerAscii(std::string_view aText);

// A signed 32-bit integer: optional sign, then decimal digits or, after "$"
// or "0x", hexadecimal ones. Nothing for any other text or a value out of
// range.
std::optional<std::int32_t> TryStrToInt(std::string_view aText);

// Two upper-case hexadecimal digits per byte.
std::string HexText(std::string_view aBytes);
// Bytes from hexadecimal digit pairs (either case). Nothing for an odd
// length (aBadIndex then receives npos) or, failing that, a character that
// is no digit (aBadIndex receives the index of the first one).
std::optional<std::string> HexToBytes(std::string_view aHex, std::size_t* aBadIndex = nullptr);

}  // namespace tavo
