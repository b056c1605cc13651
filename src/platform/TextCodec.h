#pragma once
// Text conversion. In memory all text is UTF-8 in std::string. The "ANSI code
// page" of the system is Windows-1252: it is used where text becomes 8-bit
// bytes for others to read (SNMP octet strings we send, the passcode cipher
// input). Received 8-bit text is UTF-8 when it is valid UTF-8, otherwise
// Windows-1252. Thread-safe: every function is pure.

#include <cstddef>
#include <string>
#include <string_view>

namespace tavo {

bool IsValidUtf8(std::string_view aBytes);

// Windows-1252 bytes to UTF-8. The five bytes Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value.
std::string Cp1252ToUtf8(std::string_view aBytes);

// UTF-8 to Windows-1252. Characters Windows-1252 cannot carry, and invalid
// UTF-8 sequences, become '?'.
std::string Utf8ToCp1252(std::string_view aText);

// Valid UTF-8 with every invalid byte replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view aBytes);

// The received-text rule: valid UTF-8 stays, anything else is Windows-1252.
std::string ReceivedTextToUtf8(std::string_view aBytes);

// UTF-16 (little or big endian, no mark) to UTF-8; unpaired surrogates
// become U+FFFD. A trailing odd byte is ignored.
std::string Utf16ToUtf8(std::string_view aBytes, bool aBigEndian);

// Length of the text counted in UTF-16 code units, as limits given in
// characters are counted.
std::size_t Utf16Length(std::string_view aUtf8);

// The longest prefix of aUtf8 that has at most aUnits UTF-16 code units and
// does not split a character.
std::string Utf16Left(std::string_view aUtf8, std::size_t aUnits);

// File content to UTF-8: a byte-order mark (UTF-8, UTF-16 LE, UTF-16 BE) is
// followed and removed; without one the received-text rule applies.
std::string DecodeTextBytes(std::string_view aBytes);

}  // namespace tavo
