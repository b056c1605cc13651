#include "messages/LogFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

#include "FaultyFileSystem.h"
#include "TestSupport.h"
#include "messages/MsgExceptions.h"
#include "platform/Files.h"

namespace tavo {
namespace {

using test::FakeClock;
using test::ReadWholeFile;
using test::TempDir;

std::string Line(char c, std::size_t aBytes) {
  return std::string(aBytes - 2, c) + "\r\n";
}

TEST(LogFileTest, SettingTheNameCreatesTheFileEmpty) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  EXPECT_TRUE(FileExists(dir.File("a.log")));
  EXPECT_EQ(dir.Read("a.log"), "");
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
    ::mkdir(dir.File("bak").c_str(), 0755);
    TLogFile log;
    log.FileSize = 10;
    log.SetFileName(dir.File(c.log));
    log.SetBackupDir(dir.File("bak"));
    EXPECT_EQ(log.BackupDir(), dir.File("bak") + "/");
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
  ASSERT_EQ(::mkdir(dir.File("logs").c_str(), 0755), 0);
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
  ASSERT_EQ(::mkdir(dir.File("logs").c_str(), 0755), 0);
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
  ::mkdir(dir.File("sub").c_str(), 0755);
  test::SetFileAge(dir.File("sub"), -hours(100 * 24));

  EXPECT_EQ(DeleteOldFiles(dir.Path(), 7), 3);
  for (const auto& f : files)
    EXPECT_EQ(!FileExists(dir.File(f.name)), f.deleted) << f.name;
  EXPECT_TRUE(DirectoryExists(dir.File("sub")));
  EXPECT_EQ(DeleteOldFiles(dir.File("missing"), 7), -1);
  // No folder named is not "/"; the age keeps even a wrong answer harmless.
  EXPECT_EQ(DeleteOldFiles("", INT32_MAX), -1);
}

}  // namespace
}  // namespace tavo
