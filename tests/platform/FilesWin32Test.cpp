// The Windows file calls: the log's file with its share modes and its
// refusals, the whole-file operations of rotation, listing and reading.
#include <gtest/gtest.h>
#include <windows.h>
#undef DeleteFile

#include "TestSupport.h"
#include "platform/AppendFile.h"
#include "platform/Files.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

using test::TempDir;

TAppendOptions LogOptions() {
  TAppendOptions options;
  options.NoFollow = true;
  options.NonBlocking = true;
  options.OwnRegularFileOnly = true;
  options.Exclusive = true;
  return options;
}

// Another process's handle to aPath, with the share mode it grants.
HANDLE OpenOther(const std::string& aPath, DWORD aShare) {
  return ::CreateFileW(Utf8ToWide(aPath).c_str(), GENERIC_READ, aShare, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

TEST(FilesTest, AppendsGoToTheEndAndTheStatusCountsThem) {
  TempDir dir;
  TSystemFileSystem files;
  dir.Write("a.log", "old\r\n");
  {
    auto file = files.OpenAppend(dir.File("a.log"), LogOptions());
    file->Append("one\r\n");
    file->Append("");
    TAppendFileStatus status;
    ASSERT_TRUE(file->Status(status));
    EXPECT_TRUE(status.Regular);
    EXPECT_EQ(status.Links, 1u);
    EXPECT_EQ(status.Size, 10);
  }
  EXPECT_EQ(dir.Read("a.log"), "old\r\none\r\n");

  // Shared: what another writer added meanwhile stays before our line.
  auto shared = files.OpenAppend(dir.File("a.log"), TAppendOptions{});
  const HANDLE other =
      ::CreateFileW(Utf8ToWide(dir.File("a.log")).c_str(), FILE_APPEND_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(other, "theirs\r\n", 8, &written, nullptr));
  ::CloseHandle(other);
  shared->Append("ours\r\n");
  TAppendFileStatus status;
  ASSERT_TRUE(shared->Status(status));
  EXPECT_EQ(status.Size, 24);
  shared->Truncate();
  shared.reset();
  EXPECT_EQ(dir.Read("a.log"), "");
}

TEST(FilesTest, TheExclusiveOpenSharesWithNoOne) {
  TempDir dir;
  TSystemFileSystem files;
  const std::string path = dir.File("a.log");
  {
    auto file = files.OpenAppend(path, LogOptions());
    const HANDLE other = OpenOther(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  // Held open by another, even for reading with every share: refused.
  const HANDLE other = OpenOther(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  try {
    files.OpenAppend(path, LogOptions());
    ADD_FAILURE() << "opened";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Code, ERROR_SHARING_VIOLATION);
    EXPECT_NE(std::string(e.what()).find("Cannot open " + path + ": "), std::string::npos);
  }
  // Without Exclusive both may have it.
  EXPECT_NO_THROW(files.OpenAppend(path, TAppendOptions{}));
  ::CloseHandle(other);
}

TEST(FilesTest, OnlyARegularFileWithOneLinkIsOurs) {
  TempDir dir;
  TSystemFileSystem files;
  dir.Write("target", "secret");
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(dir.File("folder")).c_str(), nullptr));
  ASSERT_TRUE(::CreateHardLinkW(Utf8ToWide(dir.File("hard")).c_str(),
                                Utf8ToWide(dir.File("target")).c_str(), nullptr));
  for (const std::string& path : {dir.File("folder"), dir.File("hard"), std::string("NUL")}) {
    SCOPED_TRACE(path);
    EXPECT_THROW(files.OpenAppend(path, LogOptions()), ENotOurFile);
  }
  EXPECT_EQ(dir.Read("target"), "secret");
  EXPECT_TRUE(DirectoryExists(dir.File("folder")));
}

TEST(FilesTest, RenameCopyAndDelete) {
  TempDir dir;
  TSystemFileSystem files;
  dir.Write("a.log", "lines\r\n");
  dir.Write("a.bak", "older");
  int error = 0;
  ASSERT_TRUE(files.Rename(dir.File("a.log"), dir.File("a.bak"), &error));
  EXPECT_EQ(dir.Read("a.bak"), "lines\r\n");
  EXPECT_FALSE(files.Exists(dir.File("a.log")));
  EXPECT_FALSE(files.Rename(dir.File("a.log"), dir.File("b"), &error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(IsCrossDeviceError(error));
  EXPECT_TRUE(IsCrossDeviceError(ERROR_NOT_SAME_DEVICE));

  dir.Write("copy", "stale and longer");
  ASSERT_TRUE(files.Copy(dir.File("a.bak"), dir.File("copy"), 0640, &error));
  EXPECT_EQ(dir.Read("copy"), "lines\r\n");
  // A folder is not copied, and no half copy is left.
  ::CreateDirectoryW(Utf8ToWide(dir.File("folder")).c_str(), nullptr);
  EXPECT_FALSE(files.Copy(dir.File("folder"), dir.File("c2"), 0640, &error));
  EXPECT_FALSE(files.Exists(dir.File("c2")));
  EXPECT_FALSE(files.Exists(dir.File("folder")));

  ASSERT_TRUE(files.Delete(dir.File("copy"), &error));
  EXPECT_FALSE(files.Delete(dir.File("copy"), &error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

TEST(FilesTest, ListingAndReading) {
  TempDir dir;
  dir.Write("a.txt", "abc");
  dir.Write("\xC3\xA9t\xC3\xA9.txt", "\xEF\xBB\xBFsummer");  // a name beyond ASCII
  ::CreateDirectoryW(Utf8ToWide(dir.File("sub")).c_str(), nullptr);
  const auto entries = ListDirectory(dir.Path());
  ASSERT_EQ(entries.size(), 3u);
  for (const TDirEntry& e : entries) {
    EXPECT_EQ(e.IsDirectory, e.Name == "sub") << e.Name;
    const auto age = std::chrono::system_clock::now() - e.LastWrite;
    EXPECT_LT(std::chrono::abs(age), std::chrono::minutes(5)) << e.Name;
  }
  EXPECT_THROW(ListDirectory(dir.File("missing")), EOSError);

  EXPECT_EQ(ReadTextFile(dir.File("\xC3\xA9t\xC3\xA9.txt")), "summer");
  EXPECT_EQ(ReadFileBytes(dir.File("a.txt"), 3), "abc");
  const struct {
    std::string path;
    int error;
  } refused[] = {{dir.File("a.txt"), ERROR_FILE_TOO_LARGE},
                 {"NUL", ERROR_INVALID_PARAMETER},
                 {dir.File("missing"), ERROR_FILE_NOT_FOUND}};
  for (const auto& r : refused) {
    try {
      ReadFileBytes(r.path, 2);
      ADD_FAILURE() << r.path << " read";
    } catch (const EOSError& e) {
      EXPECT_EQ(e.Code, r.error) << r.path;
    }
  }
  EXPECT_TRUE(RegularFileExists(dir.File("a.txt")));
  EXPECT_FALSE(RegularFileExists(dir.File("sub")));
  EXPECT_FALSE(FileExists(dir.File("sub")));
  EXPECT_TRUE(RenameFile(dir.File("a.txt"), dir.File("b.txt")));
  EXPECT_TRUE(DeleteFile(dir.File("b.txt")));
  EXPECT_FALSE(FileExists(dir.File("b.txt")));
}

}  // namespace
}  // namespace tavo
