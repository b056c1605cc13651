#pragma once
// Small shared routines. None of them throws.

#include <cstdint>
#include <string>
#include <string_view>

namespace tavo {

// Asks for a reboot through the installed ISystemPower; force adds the
// force-if-hung bit 0x10 to aFlags. true when the request was accepted;
// otherwise aReason (if given) says why it was not.
bool RebootSystem(std::uint16_t aFlags, bool aForce, std::string* aReason = nullptr);

// The first IPv4 address of the machine's host name, "127.0.0.1" when the
// name does not resolve, empty when the host name cannot be read.
std::string GetLocalIpAddress();

// aPath resolved against the folder of aBase: an absolute path stays, one
// starting with a separator (Windows) goes from the root of aBase's drive or
// share, any other is appended to the folder; "." and ".." are folded. Empty
// when the result is longer than the platform's path limit.
std::string CombinePath(const std::string& aBase, const std::string& aPath);

// The text between the first two aQuote characters, everything after a
// single one, or the whole text when there is none.
std::string UnquoteText(const std::string& aText, char aQuote = '"');

// true when every character is 0-9 (also for an empty text).
bool IsDigitsOnly(std::string_view aText);

}  // namespace tavo
