#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Paths.h"

namespace tavo {
namespace {

TEST(PathsTest, FileNamePartsTakeBothSeparatorsAndDrives) {
  const struct {
    const char* path;
    const char* folder;
    const char* name;
    const char* drive;
    bool absolute;
  } cases[] = {
      {"C:\\Tools\\app.exe", "C:\\Tools\\", "app.exe", "C:", true},
      {"C:/Tools/app.exe", "C:/Tools/", "app.exe", "C:", true},
      {"C:app.exe", "C:", "app.exe", "C:", true},
      {"\\\\srv\\share\\app.exe", "\\\\srv\\share\\", "app.exe", "\\\\srv\\share", true},
      {"\\app.exe", "\\", "app.exe", "", false},
      {"app.exe", "", "app.exe", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExtractFilePath(c.path), c.folder);
    EXPECT_EQ(ExtractFileName(c.path), c.name);
    EXPECT_EQ(ExtractFileDrive(c.path), c.drive);
    EXPECT_EQ(IsAbsolutePath(c.path), c.absolute);
  }
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\tavo", ".ini"), "C:\\a.b\\tavo.ini");
  EXPECT_EQ(ChangeFileExt("C:\\x\\app.old.log", ".bak"), "C:\\x\\app.old.bak");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\x"), "C:\\x\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:/x/"), "C:/x/");
  // Characters beyond one UTF-16 unit count twice against the limit.
  EXPECT_EQ(PathLength("C:\\\xC3\xA9\xF0\x9F\x98\x80"), 6u);
}

TEST(PathsTest, NormalizeKeepsTheRootOfDrivesAndShares) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"C:\\a\\b\\..\\c", "C:\\a\\c"},
      {"C:/a/./b//c", "C:\\a\\b\\c"},
      {"C:\\..\\..", "C:\\"},
      {"c:\\a\\b\\", "c:\\a\\b\\"},
      {"\\\\srv\\share\\a\\..\\..\\x", "\\\\srv\\share\\x"},
      {"//srv/share/", "\\\\srv\\share\\"},
      {"\\a\\..\\..\\b", "\\b"},
      {"a\\..\\..\\b", "..\\b"},
      {"C:a\\..\\..\\b", "C:..\\b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NormalizePath(c.in), c.out) << c.in;
}

TEST(PathsTest, ExecutableAndRealPaths) {
  const std::string exe = ExecutablePath();
  ASSERT_TRUE(IsAbsolutePath(exe)) << exe;
  ASSERT_TRUE(RegularFileExists(exe)) << exe;
  EXPECT_EQ(ChangeFileExt(ExtractFileName(exe), ""), "PathsTest");
  EXPECT_EQ(ConfigFilePath(), ChangeFileExt(exe, ".ini"));
  SetConfigFileOverride("D:\\agent\\my.conf");
  EXPECT_EQ(BasePath(), "D:\\agent\\my.conf");
  EXPECT_EQ(ConfigFilePath(), "D:\\agent\\my.conf");
  SetConfigFileOverride("");
  EXPECT_EQ(BasePath(), exe);

  // The same file however it is spelled; nothing for what does not exist.
  const std::string folder = ExtractFilePath(exe);
  const std::string spelled = folder + ".\\x\\..\\" + ExtractFileName(exe);
  EXPECT_EQ(RealPath(spelled), RealPath(exe));
  EXPECT_EQ(RealPath(folder), folder.substr(0, folder.size() - 1));
  EXPECT_EQ(RealPath(folder + "missing.exe"), "");
}

}  // namespace
}  // namespace tavo
