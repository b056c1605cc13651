#include "platform/TextUtils.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

TEST(TextUtilsTest, Trimming) {
  EXPECT_EQ(TrimText(" \t\r\n\x01 a b \x1f "), "a b");
  EXPECT_EQ(TrimText("   "), "");
  EXPECT_EQ(TrimLeftText("  a  "), "a  ");
  EXPECT_EQ(TrimRightText("  a  "), "  a");
  // Bytes above the blank are text, whatever they are in UTF-8.
  EXPECT_EQ(TrimText("\xC3\xA4 "), "\xC3\xA4");
  EXPECT_EQ(TrimChars(" \t<a>\x01 ", " \t"), "<a>\x01");
  EXPECT_EQ(TrimChars(" \t ", " \t"), "");
}

TEST(TextUtilsTest, AsciiCase) {
  EXPECT_TRUE(SameText("Client WebShop", "client WEBSHOP"));
  EXPECT_FALSE(SameText("abc", "abd"));
  EXPECT_FALSE(SameText("abc", "ab"));
  // Only A-Z fold: other bytes must match exactly.
  EXPECT_FALSE(SameText("\xC3\x84", "\xC3\xA4"));
  EXPECT_EQ(LowerAscii("1.3.6.X-Y\xC3\x84"), "1.3.6.x-y\xC3\x84");
}

TEST(TextUtilsTest, IntegerParser) {
  const struct {
    const char* text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"0", 0},
      {"-17", -17},
      {"+5", 5},
      {"$ff", 255},
      {"0x7FFFFFFF", 2147483647},
      {"-$80000000", INT32_MIN},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"12a", std::nullopt},
      {" 1", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TryStrToInt(c.text), c.value) << c.text;
}

TEST(TextUtilsTest, HexDigits) {
  EXPECT_EQ(HexText(std::string("\x00\x7f\x80\xff", 4)), "007F80FF");
  EXPECT_EQ(HexToBytes("007f80FF"), std::string("\x00\x7f\x80\xff", 4));
  EXPECT_EQ(HexToBytes(""), std::string());
  std::size_t bad = 0;
  EXPECT_FALSE(HexToBytes("abc", &bad));
  EXPECT_EQ(bad, std::string::npos);
  EXPECT_FALSE(HexToBytes("a0zb", &bad));
  EXPECT_EQ(bad, 2u);
  // An odd length is reported before a bad digit.
  EXPECT_FALSE(HexToBytes("zz1", &bad));
  EXPECT_EQ(bad, std::string::npos);
}

}  // namespace
}  // namespace tavo
