#pragma once
// Small shared routines. None of them throws.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavo {

// Asks for a reboot through the installed ISystemPower; force adds the
// force-if-hung bit 0x10 to aFlags. true when the request was accepted.
bool RebootSystem(std::uint16_t aFlags, bool aForce);

// The first IPv4 address of the machine's host name, "127.0.0.1" when the
// name does not resolve, empty when the host name cannot be read.
std::string GetLocalIpAddress();

// aPath resolved against the folder of aBase: an absolute path stays, any
// other is appended to the folder; "." and ".." are folded. Empty when the
// result is longer than the platform's path limit.
std::string CombinePath(const std::string& aBase, const std::string& aPath);

// The text between the first two aQuote characters, everything after a
// single one, or the whole text when there is none.
std::string UnquoteText(const std::string& aText, char aQuote = '"');

// A signed 32-bit integer: optional sign, then decimal digits or, after "$"
// or "0x", hexadecimal ones. Nothing for any other text or a value out of
// range.
std::optional<std::int32_t> TryStrToInt(std::string_view aText);

// true when every character is 0-9 (also for an empty text).
bool IsDigitsOnly(std::string_view aText);

// Leading and trailing characters with codes 0-32 removed.
std::string TrimText(std::string_view aText);
// Leading / trailing ones only.
std::string TrimLeftText(std::string_view aText);
std::string TrimRightText(std::string_view aText);

// ASCII case-insensitive comparison.
bool SameText(std::string_view a, std::string_view b);

}  // namespace tavo
