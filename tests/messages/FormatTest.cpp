#include "messages/Format.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

TEST(FormatTest, Placeholders) {
  EXPECT_EQ(Format("%s got %d", {"Mail1", 3}), "Mail1 got 3");
  EXPECT_EQ(Format("%d", {-42}), "-42");
  EXPECT_EQ(Format("%x", {255}), "FF");
  EXPECT_EQ(Format("%.6x:%d", {0x020214, 0}), "020214:0");
  EXPECT_EQ(Format("%.2x%.2x", {0, 171}), "00AB");
  EXPECT_EQ(Format("%.4d", {-7}), "-0007");
  EXPECT_EQ(Format("%x", {-1}), "FFFFFFFF");
  EXPECT_EQ(Format("100%% of %s", {"it"}), "100% of it");
  EXPECT_EQ(Format("[%5s|%-3d]", {"ab", 7}), "[   ab|7  ]");
  EXPECT_EQ(Format("%.3s", {"abcdef"}), "abc");
  EXPECT_EQ(Format("no placeholders", {}), "no placeholders");
}

TEST(FormatTest, MismatchThrowsAndProducesNothing) {
  const char* formats[] = {"%d", "%s %s", "%q", "trailing %", "%.x"};
  for (const char* f : formats) {
    EXPECT_THROW(Format(f, {"text"}), EConvertError) << f;
  }
  EXPECT_THROW(Format("%s", {}), EConvertError);
  EXPECT_THROW(Format("%s", {"a", "b"}), EConvertError);  // left over
  EXPECT_THROW(Format("%x", {"a"}), EConvertError);
}

}  // namespace
}  // namespace tavo
