#include "platform/WideText.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

TEST(WideTextTest, RoundTripsEveryPlane) {
  struct Case {
    std::string Utf8;
    std::wstring Wide;
  } cases[] = {
      {"", L""},
      {"Tavo", L"Tavo"},
      {"Grüße €", L"Grüße €"},
      // Beyond the BMP: one code point, a surrogate pair in UTF-16.
      {"\U0001D11E", std::wstring{wchar_t(0xD834), wchar_t(0xDD1E)}},
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToWide(c.Utf8), c.Wide) << c.Utf8;
    EXPECT_EQ(WideToUtf8(c.Wide), c.Utf8) << c.Utf8;
  }
}

TEST(WideTextTest, WhatCannotBeConvertedBecomesTheReplacementCharacter) {
  EXPECT_EQ(Utf8ToWide("a\377b"), L"a\uFFFDb");
  EXPECT_EQ(Utf8ToWide("\303"), L"\uFFFD");  // cut short
  EXPECT_EQ(WideToUtf8(std::wstring{L'a', wchar_t(0xD800), L'b'}), "a\uFFFDb");
}

}  // namespace
}  // namespace tavo
