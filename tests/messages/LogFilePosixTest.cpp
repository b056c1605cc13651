// The log's refusals and file modes where links, FIFOs, owners and
// permission bits are POSIX's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "TestSupport.h"
#include "messages/LogFile.h"
#include "platform/Files.h"

namespace tavo {
namespace {

using test::ReadWholeFile;
using test::TempDir;

std::string Line(char c, std::size_t aBytes) {
  return std::string(aBytes - 2, c) + "\r\n";
}

// Standard error goes to a file while it lives, so a test can read what
// was written there.
class StderrCapture {
 public:
  explicit StderrCapture(const std::string& aPath) : fsPath(aPath) {
    std::fflush(stderr);
    fhSaved = ::dup(2);
    const int fd = ::open(aPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(fd, 2);
    ::close(fd);
  }
  ~StderrCapture() {
    std::fflush(stderr);
    ::dup2(fhSaved, 2);
    ::close(fhSaved);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  std::string Text() const {
    std::fflush(stderr);
    return ReadWholeFile(fsPath);
  }

 private:
  std::string fsPath;
  int fhSaved;
};

unsigned ModeOf(const std::string& aPath) {
  struct stat st {};
  return ::stat(aPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::size_t Count(const std::string& aText, const std::string& aPart) {
  std::size_t n = 0;
  for (auto at = aText.find(aPart); at != std::string::npos; at = aText.find(aPart, at + 1))
    ++n;
  return n;
}

// Each case puts something at the log's path that is not a regular file of
// ours; the log refuses it once, holds its lines back and writes them once
// the thing is gone.
TEST(LogFileTest, OnlyARegularFileOfOursIsWritten) {
  struct Case {
    const char* Name;
    std::function<void(const TempDir&)> Plant;  // makes a.log what the case says
    bool RootOnly;
  };
  const Case cases[] = {
      {"symbolic link",
       [](const TempDir& d) {
         d.Write("target", "secret");
         ASSERT_EQ(::symlink(d.File("target").c_str(), d.File("a.log").c_str()), 0);
       },
       false},
      {"dangling symbolic link",
       [](const TempDir& d) {
         ASSERT_EQ(::symlink(d.File("target").c_str(), d.File("a.log").c_str()), 0);
       },
       false},
      {"hard link",
       [](const TempDir& d) {
         d.Write("target", "secret");
         ASSERT_EQ(::link(d.File("target").c_str(), d.File("a.log").c_str()), 0);
       },
       false},
      {"FIFO", [](const TempDir& d) { ASSERT_EQ(::mkfifo(d.File("a.log").c_str(), 0600), 0); },
       false},
      {"directory", [](const TempDir& d) { ASSERT_EQ(::mkdir(d.File("a.log").c_str(), 0700), 0); },
       false},
      {"another user's file",
       [](const TempDir& d) {
         d.Write("a.log", "theirs\r\n");
         ASSERT_EQ(::chown(d.File("a.log").c_str(), 65534, 65534), 0);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.RootOnly && ::geteuid() != 0)
      continue;
    TempDir dir;
    c.Plant(dir);
    const bool hadTarget = FileExists(dir.File("target"));
    const std::string path = dir.File("a.log");
    const std::string refusal = "Log file refused: " + path + " is not a regular file of ours\n";
    std::string said;
    {
      StderrCapture err(dir.File("stderr"));
      TLogFile log;
      log.BufferOn = true;
      log.SetFileName(path);  // refused, not thrown
      log.SetReleaseAlways(true);
      log.AppendData("one\r\n");
      log.AppendData("two\r\n");
      EXPECT_EQ(log.BufferedLineCount(), 2u);
      said = err.Text();

      std::remove(path.c_str());  // a directory too, when empty
      log.AppendData("three\r\n");
      EXPECT_EQ(dir.Read("a.log"), "Log Buffer: one\r\nLog Buffer: two\r\nthree\r\n");
    }
    EXPECT_EQ(said, refusal);
    // What a link pointed at is as it was: "secret", or still nothing.
    EXPECT_EQ(FileExists(dir.File("target")) ? dir.Read("target") : "", hadTarget ? "secret" : "");

    // Without BufferOn the refusal is the caller's error.
    ASSERT_EQ(::symlink(dir.File("elsewhere").c_str(), dir.File("b.log").c_str()), 0);
    StderrCapture quiet(dir.File("stderr2"));
    TLogFile strict;
    EXPECT_THROW(strict.SetFileName(dir.File("b.log")), ENotOurFile);
    EXPECT_FALSE(FileExists(dir.File("elsewhere")));
  }
}

TEST(LogFileTest, TheRefusalIsToldAgainAfterAWriteThatWorked) {
  TempDir dir;
  const std::string path = dir.File("a.log");
  StderrCapture err(dir.File("stderr"));
  TLogFile log;
  log.BufferOn = true;
  log.SetFileName(path);
  log.SetReleaseAlways(true);
  log.AppendData("one\r\n");
  const std::string refusal = "Log file refused: " + path + " is not a regular file of ours\n";
  for (int round = 1; round <= 2; ++round) {
    std::remove(path.c_str());
    ASSERT_EQ(::symlink(dir.File("target").c_str(), path.c_str()), 0);
    log.AppendData("held\r\n");
    log.AppendData("held\r\n");
    EXPECT_EQ(Count(err.Text(), refusal), static_cast<std::size_t>(round));
    std::remove(path.c_str());
    log.AppendData("written\r\n");
  }
  EXPECT_FALSE(FileExists(dir.File("target")));
}

TEST(LogFileTest, NewFilesAreCreated0640AndExistingOnesKeepTheirMode) {
  const mode_t saved = ::umask(022);
  TempDir dir;
  dir.Write("kept.log", "");
  ASSERT_EQ(::chmod(dir.File("kept.log").c_str(), 0604), 0);
  TLogFile kept;
  kept.SetFileName(dir.File("kept.log"));
  kept.AppendData("x\r\n");
  EXPECT_EQ(ModeOf(dir.File("kept.log")), 0604u);

  TLogFile log;
  log.FileSize = 10;
  log.SetFileName(dir.File("a.log"));
  EXPECT_EQ(ModeOf(dir.File("a.log")), 0640u);
  log.AppendData(Line('n', 20));  // rotated: the backup is the log renamed
  EXPECT_EQ(ModeOf(dir.File("a.bak")), 0640u);
  log.AppendData("y\r\n");
  EXPECT_EQ(ModeOf(dir.File("a.log")), 0640u);
  ::umask(saved);
}

}  // namespace
}  // namespace tavo
