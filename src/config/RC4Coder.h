#pragma once
// RC4 (ARCFOUR, from Nettle) and the passcode form of stored passwords: the
// text, padded with blanks to a multiple of 10 characters, enciphered under
// a built-in key and written as upper-case hexadecimal digit pairs.

#include <nettle/arcfour.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavo {

class TRC4Coder {
 public:
  // The key as Windows-1252 bytes (1 to 256 of them).
  explicit TRC4Coder(const std::string& aKey);
  ~TRC4Coder();  // wipes the state
  TRC4Coder(const TRC4Coder&) = delete;
  TRC4Coder& operator=(const TRC4Coder&) = delete;

  // Enciphers (or deciphers: the same operation) aCount bytes.
  void Execute(const std::uint8_t* aSource, std::uint8_t* aDest, std::size_t aCount);
  std::vector<std::uint8_t> Execute(const std::vector<std::uint8_t>& aSource);
  // Bytes in, bytes out.
  std::string ExecuteBytes(const std::string& aSource);
  // Text in: converted to Windows-1252, enciphered, converted back.
  std::string ExecuteText(const std::string& aSource);

 private:
  arcfour_ctx fState;
};

class TRC4HexCoder {
 public:
  static const char* const kKey;

  // The passcode of aText (trimmed, then padded), or "" on failure.
  static std::string Encode(const std::string& aText);
  // The trimmed plain text of a passcode (blanks and lower-case digits
  // allowed), or "" when it is not a valid passcode.
  static std::string Decode(const std::string& aKey);
};

// A mail password in its passcode form: the product word kPasscodePrefix in
// front of the password, encoded. The console's password encoder writes
// it, a mail recipient reads it back.
inline constexpr const char* kPasscodePrefix = "Tavo";
std::string EncodePasscode(const std::string& aPassword);
// The password of a passcode: decoded, then as many leading characters
// dropped as the prefix has (whatever they are: a passcode made with
// another key decodes to any characters). Empty for an invalid passcode.
std::string DecodePasscode(const std::string& aPasscode);

}  // namespace tavo
