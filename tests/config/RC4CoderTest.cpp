#include "config/RC4Coder.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

// Computed once with an independent RC4 (a few lines of Python) over the
// Windows-1252 bytes of the padded text, under the built-in key.
TEST(RC4CoderTest, KnownAnswers) {
  EXPECT_EQ(TRC4HexCoder::Encode("Tavosecret"), "40688C23866C69D247BE5E1EAD01E91725584B4F");
  EXPECT_EQ(TRC4HexCoder::Encode("TavoGeheimä€"), "40688C23B26C62C54BA79ABEAD01E91725584B4F");
  EXPECT_EQ(TRC4HexCoder::Encode(""), "3429DA6CD5292A8002EA");
}

TEST(RC4CoderTest, RoundTripAndLengths) {
  const struct {
    std::string text;
    std::size_t digits;
  } cases[] = {
      {"", 20},         {"a", 20},          {"123456789", 20},          {"1234567890", 40},
      {"Tavopass", 20}, {"Tavo € ä ß", 40}, {std::string(25, 'x'), 60},
  };
  for (const auto& c : cases) {
    const std::string code = TRC4HexCoder::Encode(c.text);
    EXPECT_EQ(code.size(), c.digits) << c.text;
    EXPECT_EQ(TRC4HexCoder::Decode(code), c.text);
  }
  // Input is trimmed: trailing blanks are lost, inner ones stay.
  EXPECT_EQ(TRC4HexCoder::Decode(TRC4HexCoder::Encode("  a b  ")), "a b");
}

TEST(RC4CoderTest, DecodeAcceptsLowerCaseAndBlanks) {
  const std::string code = "40688C23866C69D247BE5E1EAD01E91725584B4F";
  std::string lower;
  for (char c : code)
    lower += static_cast<char>(std::tolower(c));
  EXPECT_EQ(TRC4HexCoder::Decode(lower), "Tavosecret");
  std::string spaced;
  for (std::size_t i = 0; i < code.size(); i += 2)
    spaced += code.substr(i, 2) + " ";
  EXPECT_EQ(TRC4HexCoder::Decode(" " + spaced), "Tavosecret");
}

TEST(RC4CoderTest, InvalidPasscodesDecodeToNothing) {
  const std::string code = "40688C23866C69D247BE5E1EAD01E91725584B4F";
  EXPECT_EQ(TRC4HexCoder::Decode(code + "4"), "");  // 41 digits
  EXPECT_EQ(TRC4HexCoder::Decode("G" + code.substr(1)), "");
  EXPECT_EQ(TRC4HexCoder::Decode(""), "");
}

TEST(RC4CoderTest, PasswordConvention) {
  const std::string password = "s3cr€t pass";
  const std::string passcode = TRC4HexCoder::Encode("Tavo" + password);
  EXPECT_EQ(TRC4HexCoder::Decode(passcode).substr(4), password);
  EXPECT_EQ(EncodePasscode(password), passcode);
  EXPECT_EQ(DecodePasscode(passcode), password);
  // Another key's prefix costs as many characters, not bytes.
  EXPECT_EQ(DecodePasscode(TRC4HexCoder::Encode("T\xC3\xA4vo" + password)), password);
  EXPECT_EQ(DecodePasscode("not a passcode"), "");
}

TEST(RC4CoderTest, CoderIsItsOwnInverse) {
  TRC4Coder a("Key");
  const std::vector<std::uint8_t> plain = {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'};
  const std::vector<std::uint8_t> cipher = a.Execute(plain);
  // The published test vector for key "Key" and "Plaintext".
  const std::vector<std::uint8_t> expected = {0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3};
  EXPECT_EQ(cipher, expected);
  TRC4Coder b("Key");
  EXPECT_EQ(b.Execute(cipher), plain);
}

}  // namespace
}  // namespace tavo
