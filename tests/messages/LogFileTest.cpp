#include "messages/LogFile.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "FaultyFileSystem.h"
#include "TestSupport.h"
#include "messages/MsgExceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace tavo {
namespace {

using test::FakeClock;
using test::ReadWholeFile;
using test::TempDir;

std::string Line(char c, std::size_t aBytes) {
  return std::string(aBytes - 2, c) + "\r\n";
}

#ifdef _WIN32
// The platform's codes for a rename across volumes and a refused one.
constexpr int kCrossDevice = 17;  // ERROR_NOT_SAME_DEVICE
constexpr int kDenied = 5;        // ERROR_ACCESS_DENIED
#else
constexpr int kCrossDevice = EXDEV;
constexpr int kDenied = EACCES;
#endif

void MakeDir(const std::string& aPath) {
  ASSERT_TRUE(std::filesystem::create_directory(aPath)) << aPath;
}

#ifndef _WIN32
unsigned ModeOf(const std::string& aPath) {
  struct stat st {};
  return ::stat(aPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}
#endif

std::size_t Count(const std::string& aText, const std::string& aPart) {
  std::size_t n = 0;
  for (auto at = aText.find(aPart); at != std::string::npos; at = aText.find(aPart, at + 1))
    ++n;
  return n;
}

TEST(LogFileTest, SettingTheNameCreatesTheFileEmpty) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  EXPECT_TRUE(FileExists(dir.File("a.log")));
  // Its size only: on Windows the open file is shared with no reader.
  EXPECT_EQ(std::filesystem::file_size(dir.File("a.log")), 0u);
  log.AppendData("x\r\n");
  EXPECT_EQ(dir.Read("a.log"), "x\r\n");
}

TEST(LogFileTest, RotatesRightAfterTheLineThatPassesTheLimit) {
  TempDir dir;
  TLogFile log;
  log.FileSize = 100;
  log.SetFileName(dir.File("a.log"));
  log.AppendData(Line('1', 60));
  EXPECT_EQ(dir.Read("a.log").size(), 60u);
  EXPECT_FALSE(FileExists(dir.File("a.bak")));
  log.AppendData(Line('2', 60));  // 120 bytes: written, then rotated
  EXPECT_FALSE(FileExists(dir.File("a.log")));
  EXPECT_EQ(dir.Read("a.bak"), Line('1', 60) + Line('2', 60));
  log.AppendData(Line('3', 60));
  EXPECT_EQ(dir.Read("a.log"), Line('3', 60));
}

TEST(LogFileTest, ExactLimitStaysOneByteMoreRotates) {
  const struct {
    std::int32_t limit;
    std::size_t bytes;
    bool rotated;
  } cases[] = {{100, 100, false}, {100, 101, true}, {0, 5000, false}, {-1, 5000, false}};
  for (const auto& c : cases) {
    TempDir dir;
    TLogFile log;
    log.FileSize = c.limit;
    log.SetFileName(dir.File("a.log"));
    log.AppendData(Line('x', c.bytes));
    EXPECT_EQ(FileExists(dir.File("a.bak")), c.rotated) << c.limit << "/" << c.bytes;
  }
}

TEST(LogFileTest, BackupReplacesTheOlderOneBesideTheLog) {
  TempDir dir;
  dir.Write("a.bak", "old backup");
  TLogFile log;
  log.FileSize = 10;
  log.SetFileName(dir.File("a.log"));
  log.AppendData(Line('n', 20));
  EXPECT_EQ(dir.Read("a.bak"), Line('n', 20));
}

TEST(LogFileTest, BackupNamesInTheBackupDirectory) {
  FakeClock clock;
  clock.Set(2024, 1, 15, 13, 30, 0);
  const struct {
    const char* log;
    const char* backup;
  } cases[] = {{"app.log", "app.240115133000.bak"},
               {"app.old.log", "app.240115133000.bak"},
               {"applog", "240115133000.bak"}};
  for (const auto& c : cases) {
    TempDir dir;
    MakeDir(dir.File("bak"));
    TLogFile log;
    log.FileSize = 10;
    log.SetFileName(dir.File(c.log));
    log.SetBackupDir(dir.File("bak"));
    EXPECT_EQ(log.BackupDir(), dir.File("bak") + kPathDelimiter);
    log.AppendData(Line('n', 20));
    EXPECT_TRUE(FileExists(dir.File("bak/") + c.backup)) << c.log;
    EXPECT_FALSE(FileExists(dir.File(c.log)));
  }
}

TEST(LogFileTest, MissingBackupDirectoryIsAnError) {
  TempDir dir;
  TLogFile log;
  try {
    log.SetBackupDir(dir.File("nope"));
    FAIL() << "no error";
  } catch (const EMsg& e) {
    EXPECT_EQ(e.Id.Value, 0x020100u);
    EXPECT_EQ(e.Text, "Backup directory does not exist!");
  }
  EXPECT_EQ(log.BackupDir(), "");
}

TEST(LogFileTest, HeldBackLinesAreWrittenInOrderOnceTheFileIsWritableAgain) {
  TempDir dir;
  MakeDir(dir.File("logs"));
  TLogFile log;
  log.BufferOn = true;
  log.SetFileName(dir.File("logs/a.log"));
  log.SetReleaseAlways(true);
  log.AppendData("first\r\n");

  // The log's folder vanishes: every append fails, for real.
  ASSERT_EQ(std::rename(dir.File("logs").c_str(), dir.File("gone").c_str()), 0);
  log.AppendData("  one\r\n");
  log.AppendData("two\r\n");
  log.AppendData("three\r\n");
  EXPECT_EQ(log.BufferedLineCount(), 3u);

  ASSERT_EQ(std::rename(dir.File("gone").c_str(), dir.File("logs").c_str()), 0);
  log.AppendData("four\r\n");
  EXPECT_EQ(dir.Read("logs/a.log"),
            "first\r\nLog Buffer: one\r\nLog Buffer: two\r\nLog Buffer: three\r\nfour\r\n");
  EXPECT_EQ(log.BufferedLineCount(), 0u);
}

TEST(LogFileTest, AFailedWriteIsHeldBackAndAFailedRenameKeepsTheLog) {
  TempDir dir;
  test::FaultyFileSystem files;
  TLogFile log;
  log.BufferOn = true;
  log.FileSize = 10;
  log.SetFileName(dir.File("a.log"));
  log.SetReleaseAlways(true);
  files.FailAppend = 1;
  files.FailRename = 1;
  log.AppendData("one\r\n");  // fails
  EXPECT_EQ(log.BufferedLineCount(), 1u);
  log.AppendData("two\r\n");  // the held-back line and this one; the rotation fails
  EXPECT_EQ(dir.Read("a.log"), "Log Buffer: one\r\ntwo\r\n");
  EXPECT_FALSE(FileExists(dir.File("a.bak")));
  log.AppendData("three\r\n");  // still over the limit: rotated now
  EXPECT_EQ(dir.Read("a.bak"), "Log Buffer: one\r\ntwo\r\nthree\r\n");
  EXPECT_EQ(files.Renames, 2);
}

TEST(LogFileTest, HeldBackLinesAreBoundedAndTheDropIsCounted) {
  TempDir dir;
  MakeDir(dir.File("logs"));
  TLogFile log;
  log.BufferOn = true;
  log.FileSize = 0;
  log.SetFileName(dir.File("logs/a.log"));
  log.SetReleaseAlways(true);
  ASSERT_EQ(std::rename(dir.File("logs").c_str(), dir.File("gone").c_str()), 0);
  const std::size_t total = TLogFile::kMaxBufferedLines + 5;
  for (std::size_t i = 1; i <= total; ++i)
    log.AppendData("line " + std::to_string(i) + "\r\n");
  EXPECT_EQ(log.BufferedLineCount(), TLogFile::kMaxBufferedLines);

  ASSERT_EQ(std::rename(dir.File("gone").c_str(), dir.File("logs").c_str()), 0);
  log.AppendData("back\r\n");
  const std::string text = dir.Read("logs/a.log");
  EXPECT_EQ(text.rfind("Log Buffer: 5 line(s) dropped while the log file could not be written\r\n"
                       "Log Buffer: line 6\r\n",
                       0),
            0u);
  EXPECT_NE(text.find("Log Buffer: line " + std::to_string(total) + "\r\nback\r\n"),
            std::string::npos);
}

TEST(LogFileTest, ErrorsReachTheCallerWithoutBuffer) {
  TempDir dir;
  TLogFile unnamed;
  try {
    unnamed.AppendData("x");
    FAIL() << "no error";
  } catch (const EMsg& e) {
    EXPECT_STREQ(e.what(), "02020A:0");
  }

  TLogFile closed;
  closed.SetFileName(dir.File("a.log"));
  closed.SetReleaseAlways(true);
  closed.AutoOpen = false;
  try {
    closed.AppendData("x");
    FAIL() << "no error";
  } catch (const EMsg& e) {
    EXPECT_STREQ(e.what(), "020214:0");
  }

  TLogFile missingFolder;
  EXPECT_THROW(missingFolder.SetFileName(dir.File("no/a.log")), EOSError);
  EXPECT_THROW(missingFolder.AppendData("x"), EOSError);
}

TEST(LogFileTest, BackupCleanUpIsDueEveryOtherCalendarDay) {
  FakeClock clock;
  TLogFile never;
  EXPECT_FALSE(never.IsTimeForBackupCleanUp());

  TLogFile log;
  log.BackupRetainDays = 7;
  clock.Set(2024, 5, 10, 23, 59);
  EXPECT_TRUE(log.IsTimeForBackupCleanUp());  // the first call after start-up
  EXPECT_FALSE(log.IsTimeForBackupCleanUp());
  clock.Set(2024, 5, 11, 0, 1);
  EXPECT_FALSE(log.IsTimeForBackupCleanUp());
  clock.Set(2024, 5, 12, 0, 0);
  EXPECT_TRUE(log.IsTimeForBackupCleanUp());
  clock.Set(2024, 5, 13);
  EXPECT_FALSE(log.IsTimeForBackupCleanUp());
}

TEST(LogFileTest, DeleteOldFilesByAge) {
  using std::chrono::hours;
  TempDir dir;
  const struct {
    const char* name;
    std::chrono::seconds offset;
    bool deleted;
  } files[] = {
      {"old.bak", -hours(8 * 24), true},
      {"notes.txt", -hours(30 * 24), true},  // any file, not only backups
      {".hidden", -hours(9 * 24), true},
      {"young.bak", -hours(7 * 24 + 12), false},
      {"future.bak", hours(48), false},
  };
  for (const auto& f : files) {
    dir.Write(f.name, "x");
    test::SetFileAge(dir.File(f.name), f.offset);
  }
  MakeDir(dir.File("sub"));
  test::SetFileAge(dir.File("sub"), -hours(100 * 24));

  EXPECT_EQ(DeleteOldFiles(dir.Path(), 7), 3);
  for (const auto& f : files)
    EXPECT_EQ(!FileExists(dir.File(f.name)), f.deleted) << f.name;
  EXPECT_TRUE(DirectoryExists(dir.File("sub")));
  EXPECT_EQ(DeleteOldFiles(dir.File("missing"), 7), -1);
  // No folder named is not "/"; the age keeps even a wrong answer harmless.
  EXPECT_EQ(DeleteOldFiles("", INT32_MAX), -1);
}

TEST(LogFileTest, BackupNamesOnAClash) {
  FakeClock clock;
  clock.Set(2024, 1, 15, 13, 30, 0);
  // In a backup folder each rotation within one second gets the next
  // counter, past a backup already there; beside the log a.bak is replaced.
  const struct {
    bool folder;
    std::vector<std::pair<std::string, std::string>> backups;  // name, content
  } cases[] = {
      {true,
       {{"app.240115133000.bak", "earlier run"},
        {"app.240115133000.1.bak", Line('1', 20)},
        {"app.240115133000.2.bak", Line('2', 20)},
        {"app.240115133000.3.bak", Line('3', 20)},
        {"app.240115133001.bak", Line('4', 20)}}},
      {false, {{"app.bak", Line('4', 20)}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder ? "backup folder" : "beside the log");
    TempDir dir;
    MakeDir(dir.File("bak"));
    const std::string prefix = c.folder ? "bak/" : "";
    dir.Write("bak/app.240115133000.bak", "earlier run");
    clock.Set(2024, 1, 15, 13, 30, 0);
    TLogFile log;
    log.FileSize = 10;
    log.SetFileName(dir.File("app.log"));
    if (c.folder)
      log.SetBackupDir(dir.File("bak"));
    for (char n : {'1', '2', '3'})
      log.AppendData(Line(n, 20));
    clock.Set(2024, 1, 15, 13, 30, 1);
    log.AppendData(Line('4', 20));
    for (const auto& [name, content] : c.backups)
      EXPECT_EQ(dir.Read(prefix + name), content) << name;
    EXPECT_EQ(ListDirectory(dir.File(c.folder ? "bak" : ".")).size(), c.folder ? 5u : 2u);
  }
}

// Rotation with the rename failing as it does across file systems: the log
// is copied into the backup and truncated, and no line is lost.
TEST(LogFileTest, ARenameAcrossFileSystemsFallsBackToCopyAndTruncate) {
#ifndef _WIN32
  const mode_t saved = ::umask(022);
#endif
  FakeClock clock;
  clock.Set(2024, 1, 15, 13, 30, 0);
  TempDir dir;
  MakeDir(dir.File("bak"));
  test::FaultyFileSystem files;
  files.FailRename = test::FaultyFileSystem::kEvery;
  files.Error = kCrossDevice;
  TLogFile log;
  log.FileSize = 100;
  log.SetFileName(dir.File("a.log"));
  log.SetBackupDir(dir.File("bak"));
  log.AppendData(Line('1', 60));
  log.AppendData(Line('2', 60));  // over the limit: copied, truncated
  EXPECT_EQ(dir.Read("bak/a.240115133000.bak"), Line('1', 60) + Line('2', 60));
#ifndef _WIN32
  EXPECT_EQ(ModeOf(dir.File("bak/a.240115133000.bak")), 0640u);
#endif
  EXPECT_EQ(dir.Read("a.log"), "");
  log.AppendData(Line('3', 60));
  log.AppendData(Line('4', 60));
  EXPECT_EQ(dir.Read("bak/a.240115133000.1.bak"), Line('3', 60) + Line('4', 60));
  log.AppendData(Line('5', 60));
  EXPECT_EQ(dir.Read("a.log"), Line('5', 60));
  EXPECT_EQ(files.Copies, 2);
  EXPECT_EQ(log.TakeRotationFailure(), "");
#ifndef _WIN32
  ::umask(saved);
#endif
}

// A rotation that cannot rename (nor, across file systems, copy) is told
// once while it keeps failing; the log grows with every line. Once one works,
// the next failure is told again.
TEST(LogFileTest, AFailedRotationIsToldOnceAndTheLogGrows) {
  const struct {
    const char* name;
    int error;
    int copies;  // tried per rotation
    std::string text;
  } cases[] = {
#ifdef _WIN32
      {"across file systems, copy failing", kCrossDevice, 1, OSErrorText(kCrossDevice)},
      {"refused", kDenied, 0, OSErrorText(kDenied)},
#else
      {"across file systems, copy failing", kCrossDevice, 1, "Invalid cross-device link"},
      {"refused", kDenied, 0, "Permission denied"},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    test::FaultyFileSystem files;
    files.FailRename = test::FaultyFileSystem::kEvery;
    files.FailCopy = test::FaultyFileSystem::kEvery;
    files.Error = c.error;
    TLogFile log;
    log.FileSize = 100;
    log.SetFileName(dir.File("a.log"));
    const std::string failure =
        "Log rotation: cannot rename " + dir.File("a.log") + " (" + c.text + ")";
    std::string all;
    for (char n : {'1', '2', '3', '4'}) {
      log.AppendData(Line(n, 60));
      all += Line(n, 60);
      EXPECT_EQ(log.TakeRotationFailure(), n == '2' ? failure : "") << n;
    }
    EXPECT_EQ(dir.Read("a.log"), all);
    EXPECT_EQ(files.Copies, 3 * c.copies);
    EXPECT_FALSE(FileExists(dir.File("a.bak")));  // no half copy left

    files.FailRename = 0;
    log.AppendData("works\r\n");
    EXPECT_EQ(dir.Read("a.bak"), all + "works\r\n");
    EXPECT_EQ(log.TakeRotationFailure(), "");
    files.FailRename = test::FaultyFileSystem::kEvery;
    log.AppendData(Line('5', 60));
    log.AppendData(Line('6', 60));
    EXPECT_EQ(log.TakeRotationFailure(), failure);
  }
}

TEST(LogFileTest, HeldBackLinesAreBoundedInBytesToo) {
  TempDir dir;
  test::FaultyFileSystem files;
  TLogFile log;
  log.BufferOn = true;
  log.FileSize = 0;
  log.SetFileName(dir.File("a.log"));
  files.FailAppend = test::FaultyFileSystem::kEvery;
  const std::string pad(100 * 1024, 'x');
  const std::size_t total = 60;  // about 6 MiB: the bytes bind, not the count
  for (std::size_t i = 1; i <= total; ++i)
    log.AppendData("line " + std::to_string(i) + " " + pad + "\r\n");
  const std::size_t kept = log.BufferedLineCount();
  const std::size_t held = std::string("Log Buffer: line 10 ").size() + pad.size();
  EXPECT_LE(kept * held, TLogFile::kMaxBufferedBytes);
  EXPECT_GT((kept + 1) * held, TLogFile::kMaxBufferedBytes);

  files.FailAppend = 0;
  log.AppendData("back\r\n");
  const std::string text = dir.Read("a.log");
  const std::size_t first = total - kept + 1;
  EXPECT_EQ(text.rfind("Log Buffer: " + std::to_string(total - kept) +
                           " line(s) dropped while the log file could not be written\r\n"
                           "Log Buffer: line " +
                           std::to_string(first) + " ",
                       0),
            0u);
  EXPECT_EQ(Count(text, "\r\n"), kept + 2);
  EXPECT_NE(text.find("Log Buffer: line 60 " + pad + "\r\nback\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tavo
