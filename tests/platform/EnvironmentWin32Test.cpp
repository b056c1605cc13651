// The environment on Windows: the W functions' values as UTF-8.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/Environment.h"

namespace tavo {
namespace {

class EnvironmentTest : public testing::Test {
 protected:
  void TearDown() override { ::SetEnvironmentVariableW(L"TAVO_TEST_VALUE", nullptr); }
};

TEST_F(EnvironmentTest, ValuesAreUtf8) {
  ::SetEnvironmentVariableW(L"TAVO_TEST_VALUE", L"Grüße €");
  EXPECT_EQ(EnvironmentValue("TAVO_TEST_VALUE"), "Grüße €");
  // Longer than the first buffer.
  const std::wstring longValue(3000, L'ä');
  ::SetEnvironmentVariableW(L"TAVO_TEST_VALUE", longValue.c_str());
  std::string expected;
  for (int i = 0; i < 3000; ++i)
    expected += "ä";
  EXPECT_EQ(EnvironmentValue("TAVO_TEST_VALUE"), expected);
}

TEST_F(EnvironmentTest, MissingOrEmptyGivesTheDefault) {
  EXPECT_EQ(EnvironmentValue("TAVO_TEST_VALUE", "fallback"), "fallback");
  ::SetEnvironmentVariableW(L"TAVO_TEST_VALUE", L"");
  EXPECT_EQ(EnvironmentValue("TAVO_TEST_VALUE", "fallback"), "fallback");
  EXPECT_EQ(EnvironmentValue("TAVO_TEST_VALUE"), "");
}

}  // namespace
}  // namespace tavo
