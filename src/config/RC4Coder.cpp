#include "config/RC4Coder.h"

#include <cstring>

#include "config/SystemUtils.h"
#include "messages/Format.h"
#include "platform/Memory.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"

namespace tavo {

const char* const TRC4HexCoder::kKey = "Qm7#tR2v!Lp8&Wd4?Ks6^Yh1*Nb3=Gf5~Jc9+Zx";

TRC4Coder::TRC4Coder(const std::string& aKey) {
  const std::string key = Utf8ToCp1252(aKey);
  if (key.empty() || key.size() > ARCFOUR_MAX_KEY_SIZE) {
    throw Exception("Invalid RC4 key length");
  }
  arcfour_set_key(&fState, key.size(), reinterpret_cast<const std::uint8_t*>(key.data()));
}

TRC4Coder::~TRC4Coder() {
  SecureWipe(&fState, sizeof fState);
}

void TRC4Coder::Execute(const std::uint8_t* aSource, std::uint8_t* aDest, std::size_t aCount) {
  arcfour_crypt(&fState, aCount, aDest, aSource);
}

std::vector<std::uint8_t> TRC4Coder::Execute(const std::vector<std::uint8_t>& aSource) {
  std::vector<std::uint8_t> out(aSource.size());
  Execute(aSource.data(), out.data(), aSource.size());
  return out;
}

std::string TRC4Coder::ExecuteBytes(const std::string& aSource) {
  std::string out(aSource.size(), '\0');
  Execute(reinterpret_cast<const std::uint8_t*>(aSource.data()),
          reinterpret_cast<std::uint8_t*>(out.data()), aSource.size());
  return out;
}

std::string TRC4Coder::ExecuteText(const std::string& aSource) {
  return Cp1252ToUtf8(ExecuteBytes(Utf8ToCp1252(aSource)));
}

std::string TRC4HexCoder::Encode(const std::string& aText) {
  try {
    std::string plain = Utf8ToCp1252(TrimText(aText));
    plain.append(10 - plain.size() % 10, ' ');
    TRC4Coder coder(kKey);
    const std::string cipher = coder.ExecuteBytes(plain);
    SecureWipe(plain);
    return HexText(cipher);
  } catch (const std::exception&) {
    return {};
  }
}

std::string TRC4HexCoder::Decode(const std::string& aKey) {
  try {
    std::string digits;
    for (char c : aKey) {
      if (c != ' ')
        digits += c;
    }
    std::size_t bad = 0;
    const std::optional<std::string> bytes = HexToBytes(digits, &bad);
    if (!bytes && bad == std::string::npos)
      throw Exception("Invalid hex stream length!");
    if (!bytes) {
      throw Exception(
          Format("Invalid \"%s\" letter in hex stream found.", {std::string(1, digits[bad])}));
    }
    TRC4Coder coder(kKey);
    std::string plain = coder.ExecuteBytes(*bytes);
    std::string text = TrimText(Cp1252ToUtf8(plain));
    SecureWipe(plain);
    return text;
  } catch (const std::exception&) {
    return {};
  }
}

std::string EncodePasscode(const std::string& aPassword) {
  std::string plain = kPasscodePrefix + aPassword;
  std::string passcode = TRC4HexCoder::Encode(plain);
  SecureWipe(plain);
  return passcode;
}

std::string DecodePasscode(const std::string& aPasscode) {
  std::string plain = TRC4HexCoder::Decode(aPasscode);
  // Characters, not bytes.
  std::size_t pos = 0;
  for (std::size_t n = std::strlen(kPasscodePrefix); n > 0 && pos < plain.size(); --n) {
    ++pos;
    while (pos < plain.size() && (static_cast<unsigned char>(plain[pos]) & 0xC0) == 0x80)
      ++pos;
  }
  std::string password = plain.substr(pos);
  SecureWipe(plain);
  return password;
}

}  // namespace tavo
