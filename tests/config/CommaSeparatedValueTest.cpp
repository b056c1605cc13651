#include "config/CommaSeparatedValue.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"

namespace tavo {
namespace {

std::vector<std::string> Fields(const std::string& aLine) {
  TCommaSeparatedValue csv;
  csv.SetStringLine(aLine);
  std::vector<std::string> out;
  for (int i = 0; i < csv.ValueCount(); ++i)
    out.push_back(csv.GetValue(i));
  return out;
}

TEST(CommaSeparatedValueTest, Splitting) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Fields("a;b;c;"), (V{"a", "b", "c"}));
  EXPECT_EQ(Fields("a;;b;"), (V{"a", "", "b"}));
  EXPECT_EQ(Fields(";"), (V{""}));
  EXPECT_EQ(Fields(""), V{});
  EXPECT_EQ(Fields("a;b"), (V{"a"}));  // only text a separator ends is a field
  EXPECT_EQ(Fields("\"x;y\";z;"), (V{"\"x;y\"", "z"}));
  EXPECT_EQ(Fields(" 1 ; \"a;b\" tail ;"), (V{" 1 ", " \"a;b\" tail "}));
}

TEST(CommaSeparatedValueTest, TextViews) {
  TCommaSeparatedValue csv;
  csv.SetStringLine("\"x;y\";z; \"Disk full\" trailing ;\t spaced \t;");
  EXPECT_EQ(csv.ValueCount(), 4);
  EXPECT_EQ(csv.GetString(0), "x;y");
  EXPECT_EQ(csv.GetString(1), "z");
  EXPECT_EQ(csv.GetValue(2), " \"Disk full\" trailing ");
  EXPECT_EQ(csv.GetString(2), "Disk full");
  EXPECT_EQ(csv.GetValueTrimmed(3), "spaced");
  TCommaSeparatedValue doubled;
  doubled.SetStringLine("\"a\"\"b\";");
  EXPECT_EQ(doubled.GetString(0), "a");  // no escape: a doubled mark ends the text
  TCommaSeparatedValue padded;
  padded.SetStringLine("\" in \";");
  EXPECT_EQ(padded.GetString(0), " in ");
  EXPECT_EQ(padded.GetStringTrimmed(0), "in");
}

TEST(CommaSeparatedValueTest, Numbers) {
  TCommaSeparatedValue csv;
  csv.SetStringLine(" 42 ;4x2;$1F;0x10;-7;;2147483648;");
  EXPECT_EQ(csv.GetInteger(0), 42);
  EXPECT_EQ(csv.GetInteger(2), 31);
  EXPECT_EQ(csv.GetInteger(3), 16);
  EXPECT_EQ(csv.GetInteger(4), -7);
  const struct {
    int index;
    const char* message;
  } errors[] = {{1, "'4x2' is not a valid integer value"},
                {5, "'' is not a valid integer value"},
                {6, "'2147483648' is not a valid integer value"}};
  for (const auto& e : errors) {
    try {
      csv.GetInteger(e.index);
      ADD_FAILURE() << "no error for " << e.index;
    } catch (const EConvertError& x) {
      EXPECT_STREQ(x.what(), e.message);
    }
  }
}

TEST(CommaSeparatedValueTest, IndexError) {
  TCommaSeparatedValue csv;
  csv.SetStringLine("1;2;3;4;5;");
  try {
    csv.GetValue(5);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Invalid csv index 5 to list count 5!");
  }
  EXPECT_THROW(csv.GetString(-1), Exception);
}

TEST(CommaSeparatedValueTest, OtherSeparatorAndQuote) {
  TCommaSeparatedValue csv;
  csv.Separator = ',';
  csv.QuotationMarks = '\'';
  csv.SetStringLine("'a,b',c;d,");
  ASSERT_EQ(csv.ValueCount(), 2);
  EXPECT_EQ(csv.GetString(0), "a,b");
  EXPECT_EQ(csv.GetString(1), "c;d");
}

}  // namespace
}  // namespace tavo
