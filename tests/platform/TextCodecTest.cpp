#include "platform/TextCodec.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

TEST(TextCodecTest, Cp1252RoundTripsEveryDefinedByte) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    all += static_cast<char>(b);
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
}

TEST(TextCodecTest, KnownCharacters) {
  struct Case {
    std::string cp1252;
    std::string utf8;
  } cases[] = {
      {"\x80", "\xE2\x82\xAC"},  // euro sign
      {"\xE4\xF6\xFC\xDF", "äöüß"},
      {"\x93q\x94", "\xE2\x80\x9Cq\xE2\x80\x9D"},
      {"plain", "plain"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8);
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252);
  }
}

TEST(TextCodecTest, UnrepresentableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("a\xE2\x86\x92z"), "a?z");  // arrow
  EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80"), "?");  // emoji: one character, one mark
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "?");              // truncated sequence
}

TEST(TextCodecTest, ReceivedTextRule) {
  EXPECT_EQ(ReceivedTextToUtf8("Gr\xC3\xBC\xC3\x9F"
                               "e"),
            "Grüße");  // valid UTF-8 stays
  EXPECT_EQ(ReceivedTextToUtf8("Gr\xFC\xDF"
                               "e"),
            "Grüße");                         // else Windows-1252
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));      // overlong NUL
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
}

TEST(TextCodecTest, Utf16Counting) {
  EXPECT_EQ(Utf16Length("abc"), 3u);
  EXPECT_EQ(Utf16Length("äö€"), 3u);
  EXPECT_EQ(Utf16Length("\xF0\x9F\x98\x80"), 2u);  // a surrogate pair
  EXPECT_EQ(Utf16Left("a\xF0\x9F\x98\x80"
                      "b",
                      2),
            "a");  // never splits the pair
  EXPECT_EQ(Utf16Left("a\xF0\x9F\x98\x80"
                      "b",
                      3),
            "a\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16Left("äöü", 2), "äö");
}

TEST(TextCodecTest, ByteOrderMarks) {
  EXPECT_EQ(DecodeTextBytes("\xEF\xBB\xBF"
                            "ä"),
            "ä");
  EXPECT_EQ(DecodeTextBytes(std::string("\xFF\xFE"
                                        "a\0\xE4\0\xAC\x20",
                                        8)),
            "aä€");
  EXPECT_EQ(DecodeTextBytes(std::string("\xFE\xFF\0a\xD8\x3D\xDE\x00", 8)), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(DecodeTextBytes("\xE4"), "ä");
  EXPECT_EQ(DecodeTextBytes("\xEF\xBB\xBF"
                            "a\xFF"),
            "a\xEF\xBF\xBD");  // repaired, stays UTF-8
}

}  // namespace
}  // namespace tavo
