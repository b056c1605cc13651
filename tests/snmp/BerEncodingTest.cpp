#include "snmp/BerEncoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ByteText.h"

namespace tavo {
namespace {

using test::Hex;
using test::Unhex;

TEST(BerEncodingTest, LengthFieldsAreShortest) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {
      {0, "00"},
      {127, "7F"},
      {128, "81 80"},
      {255, "81 FF"},
      {256, "82 01 00"},
      {1472, "82 05 C0"},
      {65536, "83 01 00 00"},
      {0xFFFFFFFFu, "84 FF FF FF FF"}};
  for (const auto& [length, hex] : cases) {
    EXPECT_EQ(Hex(BerEncodeLength(length)), hex) << length;
    std::size_t pos = 0;
    const std::string bytes = Unhex(hex);
    EXPECT_EQ(BerDecodeLength(bytes, pos), length) << hex;
    EXPECT_EQ(pos, bytes.size());
  }
}

TEST(BerEncodingTest, LengthReadingOddForms) {
  struct Case {
    const char* Hex;
    std::uint32_t Length;
    std::size_t Pos;
  };
  const Case cases[] = {
      {"80", 0, 1},                 // indefinite form
      {"82 01", 0, 2},              // second length byte missing
      {"", 0, 0},                   // nothing at all
      {"85 01 00 00 00 05", 5, 6},  // wider than 32 bits: low bits survive
      {"81 05 99", 5, 2},           // long form of a short length
  };
  for (const Case& c : cases) {
    const std::string bytes = Unhex(c.Hex);
    std::size_t pos = 0;
    EXPECT_EQ(BerDecodeLength(bytes, pos), c.Length) << c.Hex;
    EXPECT_EQ(pos, c.Pos) << c.Hex;
  }
}

TEST(BerEncodingTest, IntegersAreShortestTwosComplement) {
  const std::vector<std::pair<std::int32_t, std::string>> cases = {{0, "00"},
                                                                   {127, "7F"},
                                                                   {128, "00 80"},
                                                                   {256, "01 00"},
                                                                   {-1, "FF"},
                                                                   {-128, "80"},
                                                                   {-129, "FF 7F"},
                                                                   {100, "64"},
                                                                   {8424, "20 E8"},
                                                                   {2147483647, "7F FF FF FF"},
                                                                   {INT32_MIN, "80 00 00 00"}};
  for (const auto& [value, hex] : cases) {
    EXPECT_EQ(Hex(BerEncodeInteger(value)), hex) << value;
    std::size_t pos = 0;
    std::int32_t tag = 0;
    EXPECT_EQ(BerReadItem(BerMakeItem(BerEncodeInteger(value), kBerInteger), pos, tag),
              std::to_string(value));
  }
}

TEST(BerEncodingTest, UnsignedValuesGetALeadingZeroWhenNeeded) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {
      {0, "00"},
      {200, "00 C8"},
      {127, "7F"},
      {2147483648u, "00 80 00 00 00"},
      {4294967295u, "00 FF FF FF FF"}};
  for (const auto& [value, hex] : cases)
    EXPECT_EQ(Hex(BerEncodeUnsigned(value)), hex) << value;
}

TEST(BerEncodingTest, SubIdentifiers) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {
      {0, "00"},
      {127, "7F"},
      {128, "81 00"},
      {16384, "81 80 00"},
      {2147483647, "87 FF FF FF 7F"},
      {4294967295u, "8F FF FF FF 7F"}};
  for (const auto& [value, hex] : cases) {
    EXPECT_EQ(Hex(BerEncodeSubId(value)), hex) << value;
    const std::string bytes = Unhex(hex);
    std::size_t pos = 0;
    EXPECT_EQ(BerDecodeSubId(bytes, pos), value);
    EXPECT_EQ(pos, bytes.size());
  }
  // A last byte that still has bit 0x80 set ends at the end of the content.
  std::size_t pos = 0;
  EXPECT_EQ(BerDecodeSubId(Unhex("81 81"), pos), 129u);
  EXPECT_EQ(pos, 2u);
}

TEST(BerEncodingTest, ObjectIdentifierText) {
  struct Case {
    const char* Text;
    const char* Bytes;
    const char* Back;  // the text read back from the bytes
  };
  const Case cases[] = {
      {"1.3.6.1.2.1.1.3.0", "2B 06 01 02 01 01 03 00", "1.3.6.1.2.1.1.3.0"},
      {"1.3.6.1.4.1.200.1", "2B 06 01 04 01 81 48 01", "1.3.6.1.4.1.200.1"},
      {"1.3.6.4.1.52814.8424", "2B 06 04 01 83 9C 4E C1 68", "1.3.6.4.1.52814.8424"},
      {"", "00", "0.0"},
      {"1", "28", "1.0"},
      {".1.3", "01 03", "0.1.3"},                 // no dot stripped: the empty first arc is 0
      {"1.3.x.-5.", "2B 00 00 00", "1.3.0.0.0"},  // arcs that are not numbers count 0
      {"2.999.3", "88 37 03", "26.39.3"},         // the first sub-identifier splits by 40
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(OidTextToBytes(c.Text)), c.Bytes) << c.Text;
    EXPECT_EQ(OidBytesToText(Unhex(c.Bytes)), c.Back) << c.Bytes;
  }
  EXPECT_EQ(OidBytesToText(""), "");
  EXPECT_EQ(OidBytesToText(Unhex("81 34")), "4.20");
}

TEST(BerEncodingTest, IpAddressText) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"192.168.1.20", "C0 A8 01 14"}, {"10.0.0.300", "0A 00 00 2C"}, {"", "00 00 00 00"},
      {" 10 . 1 ", "0A 01 00 00"},     {"a.b.c.d", "00 00 00 00"},    {"1.2.3.4.5", "01 02 03 04"},
      {"-1.256.0.0", "FF 00 00 00"}};
  for (const auto& [text, hex] : cases)
    EXPECT_EQ(Hex(IpTextToBytes(text)), hex) << text;
}

// One item read from the front of a buffer.
struct ReadCase {
  const char* Bytes;
  std::int32_t Tag;
  std::string Value;  // hex when the value is raw bytes, else text
  bool ValueIsHex;
  std::size_t Pos;
};

TEST(BerEncodingTest, ReadingItems) {
  const ReadCase cases[] = {
      {"02 01 64", kBerInteger, "100", false, 3},
      {"02 04 FF FF FF FF", kBerInteger, "-1", false, 6},
      {"02 01 80", kBerInteger, "-128", false, 3},
      {"02 00", kBerInteger, "0", false, 2},
      {"02 05 01 00 00 00 05", kBerInteger, "5", false, 7},  // low 32 bits
      {"01 01 FF", kBerBoolean, "-1", false, 3},
      {"0A 01 02", kBerEnumerated, "2", false, 3},
      {"43 01 C8", kBerTimeTicks, "200", false, 3},
      {"43 02 00 C8", kBerTimeTicks, "200", false, 4},
      {"43 04 FF FF FF FF", kBerTimeTicks, "4294967295", false, 6},
      {"41 00", kBerCounter32, "0", false, 2},
      {"06 00", kBerObjectId, "", false, 2},
      {"40 02 0A 01", kBerIpAddress, "10.1", false, 4},
      {"05 00", kBerNull, "", false, 2},
      {"05 01 07", kBerNull, "", false, 3},
      {"04 03 41 00 42", kBerOctetString, "41 00 42", true, 5},
      {"46 02 01 02", 0x46, "01 02", true, 4},        // Counter64 stays raw
      {"80 00", 0x80, "", true, 2},                   // noSuchObject
      {"04 10 41 42", kBerOctetString, "", true, 2},  // declared 16, 2 present
      {"30", kBerNull, "", true, 0},
      {"", kBerNull, "", true, 0},
      {"30 05 02 01 07 04 00", kBerSequence, "02 01 07 04 00", true, 2},
  };
  for (const ReadCase& c : cases) {
    const std::string bytes = Unhex(c.Bytes);
    std::size_t pos = 0;
    std::int32_t tag = -1;
    const std::string value = BerReadItem(bytes, pos, tag);
    EXPECT_EQ(tag, c.Tag) << c.Bytes;
    EXPECT_EQ(c.ValueIsHex ? Hex(value) : value, c.Value) << c.Bytes;
    EXPECT_EQ(pos, c.Pos) << c.Bytes;
  }
}

TEST(BerEncodingTest, ConstructedItemsAreSteppedInto) {
  const std::string bytes = Unhex("30 05 02 01 07 04 00");
  std::size_t pos = 0;
  std::int32_t tag = 0;
  EXPECT_EQ(Hex(BerReadItem(bytes, pos, tag)), "02 01 07 04 00");
  EXPECT_EQ(pos, 2u);
  EXPECT_EQ(BerReadItem(bytes, pos, tag), "7");
  EXPECT_EQ(tag, kBerInteger);
  EXPECT_EQ(BerReadItem(bytes, pos, tag), "");
  EXPECT_EQ(tag, kBerOctetString);
  EXPECT_EQ(pos, bytes.size());
  // At the end: tag NULL, offset unchanged.
  EXPECT_EQ(BerReadItem(bytes, pos, tag), "");
  EXPECT_EQ(tag, kBerNull);
  EXPECT_EQ(pos, bytes.size());
}

TEST(BerEncodingTest, MakeItem) {
  EXPECT_EQ(Hex(BerMakeItem(BerEncodeInteger(100), kBerInteger)), "02 01 64");
  EXPECT_EQ(Hex(BerMakeItem(BerEncodeInteger(8424), kBerInteger)), "02 02 20 E8");
  EXPECT_EQ(Hex(BerMakeItem(BerEncodeUnsigned(200), kBerTimeTicks)), "43 02 00 C8");
  EXPECT_EQ(Hex(BerMakeItem(OidTextToBytes(""), kBerObjectId)), "06 01 00");
  EXPECT_EQ(Hex(BerMakeItem(IpTextToBytes(""), kBerIpAddress)), "40 04 00 00 00 00");
  const std::string big(200, 'x');
  EXPECT_EQ(Hex(BerMakeItem(big, kBerOctetString).substr(0, 3)), "04 81 C8");
}

// Every prefix of a nested sample, read item by item to its end: the reader
// must always advance or stop, and never look past the end (ASan checks).
TEST(BerEncodingTest, TruncatedBuffersAreReadSafely) {
  const std::string sample = Unhex(
      "30 29 02 01 00 04 06 70 75 62 6C 69 63 A4 1C 06 07 2B 06 01 04 01 81 48 40 04 7F 00 00 01"
      " 02 01 06 02 01 01 43 01 00 30 00 84 FF FF FF FF");
  for (std::size_t n = 0; n <= sample.size(); ++n) {
    const std::string cut = sample.substr(0, n);
    std::size_t pos = 0;
    for (int reads = 0; reads < 64; ++reads) {
      std::int32_t tag = 0;
      const std::size_t before = pos;
      BerReadItem(cut, pos, tag);
      ASSERT_LE(pos, cut.size());
      if (pos == before)
        break;
    }
  }
}

}  // namespace
}  // namespace tavo
