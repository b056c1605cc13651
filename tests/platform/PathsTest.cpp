#include "platform/Paths.h"

#include <gtest/gtest.h>

#include "platform/Files.h"

namespace tavo {
namespace {

TEST(PathsTest, FileNameParts) {
  EXPECT_EQ(ExtractFilePath("/opt/tavo/tavo"), "/opt/tavo/");
  EXPECT_EQ(ExtractFileName("/opt/tavo/tavo"), "tavo");
  EXPECT_EQ(ExtractFilePath("tavo"), "");
  EXPECT_EQ(ChangeFileExt("/opt/tavo/tavo", ".ini"), "/opt/tavo/tavo.ini");
  EXPECT_EQ(ChangeFileExt("/opt/a.b/tavo.conf", ".log"), "/opt/a.b/tavo.log");
  EXPECT_EQ(ChangeFileExt("/x/app.old.log", ".bak"), "/x/app.old.bak");
}

TEST(PathsTest, Normalize) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"/a/b/../c", "/a/c"}, {"/a/./b//c", "/a/b/c"}, {"/../..", "/"},
      {"/a/b/", "/a/b/"},    {"a/../../b", "../b"},   {"/a/b/..", "/a"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NormalizePath(c.in), c.out) << c.in;
}

TEST(PathsTest, ConfigOverrideDrivesDerivedPaths) {
  const std::string exe = ExecutablePath();
  ASSERT_TRUE(FileExists(exe));
  EXPECT_EQ(ConfigFilePath(), ChangeFileExt(exe, ".ini"));
  SetConfigFileOverride("/srv/agent/my.conf");
  EXPECT_EQ(BasePath(), "/srv/agent/my.conf");
  EXPECT_EQ(ConfigFilePath(), "/srv/agent/my.conf");
  SetConfigFileOverride("");
  EXPECT_EQ(BasePath(), exe);
}

}  // namespace
}  // namespace tavo
