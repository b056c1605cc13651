#pragma once
// Bytes as upper-case hex pairs separated by blanks ("30 03 02 01 00"), and
// back, for tests that compare wire formats; Base64 back to bytes, for
// tests that read what went on the wire encoded.

#include <nettle/base64.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/TextUtils.h"

namespace tavo::test {

inline std::string Hex(std::string_view aBytes) {
  const std::string digits = HexText(aBytes);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    if (!out.empty())
      out += ' ';
    out += digits.substr(i, 2);
  }
  return out;
}

// Hex digit pairs; blanks, colons and line breaks between pairs are ignored.
inline std::string Unhex(std::string_view aText) {
  std::string digits;
  for (char c : aText) {
    if (c != ' ' && c != ':' && c != '\n' && c != '\r' && c != '\t')
      digits += c;
  }
  const auto bytes = HexToBytes(digits);
  if (!bytes)
    throw std::invalid_argument("not hex digit pairs: " + std::string(aText));
  return *bytes;
}

// "<invalid base64>" for text that is not Base64.
inline std::string Base64Decode(const std::string& aText) {
  base64_decode_ctx ctx;
  base64_decode_init(&ctx);
  std::string out(BASE64_DECODE_LENGTH(aText.size()), '\0');
  std::size_t len = out.size();
  if (!base64_decode_update(&ctx, &len, reinterpret_cast<std::uint8_t*>(out.data()), aText.size(),
                            aText.data()) ||
      !base64_decode_final(&ctx)) {
    return "<invalid base64>";
  }
  out.resize(len);
  return out;
}

}  // namespace tavo::test
