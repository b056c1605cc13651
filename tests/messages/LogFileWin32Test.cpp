// The log on Windows: its exclusive open, and what it refuses there.
#include <gtest/gtest.h>
#include <windows.h>
#undef DeleteFile

#include <vector>

#include "TestSupport.h"
#include "messages/LogFile.h"
#include "platform/Files.h"
#include "platform/SystemLog.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

using test::TempDir;

// The system log's entries while it lives.
struct SystemLogRecorder final : ISystemLog {
  SystemLogRecorder() { SetSystemLog(this); }
  ~SystemLogRecorder() override { SetSystemLog(nullptr); }
  void Write(TSysLogLevel, const std::string& aText, const std::string&) override {
    Texts.push_back(aText);
  }
  std::vector<std::string> Texts;
};

TEST(LogFileTest, LinesWaitWhileAnotherProcessHoldsTheLog) {
  TempDir dir;
  TLogFile log;
  log.BufferOn = true;
  log.SetFileName(dir.File("a.log"));
  log.SetReleaseAlways(true);
  log.AppendData("first\r\n");
  // Held open by another with every share granted: the log shares with no one.
  const HANDLE other = ::CreateFileW(Utf8ToWide(dir.File("a.log")).c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  for (const char* line : {"one\r\n", "two\r\n", "three\r\n"})
    log.AppendData(line);
  EXPECT_EQ(log.BufferedLineCount(), 3u);
  ::CloseHandle(other);
  log.AppendData("four\r\n");
  EXPECT_EQ(dir.Read("a.log"),
            "first\r\nLog Buffer: one\r\nLog Buffer: two\r\nLog Buffer: three\r\nfour\r\n");
}

TEST(LogFileTest, AFolderOrAHardLinkIsRefusedAndToldToTheEventLog) {
  const struct {
    const char* name;
    bool folder;
  } cases[] = {{"folder", true}, {"hard link", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("a.log");
    dir.Write("target", "secret");
    if (c.folder) {
      ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr));
    } else {
      ASSERT_TRUE(::CreateHardLinkW(Utf8ToWide(path).c_str(),
                                    Utf8ToWide(dir.File("target")).c_str(), nullptr));
    }
    SystemLogRecorder events;
    TLogFile log;
    log.BufferOn = true;
    log.SetFileName(path);  // refused, not thrown
    log.SetReleaseAlways(true);
    log.AppendData("one\r\n");
    EXPECT_EQ(log.BufferedLineCount(), 1u);
    EXPECT_EQ(events.Texts, std::vector<std::string>{"Log file refused: " + path +
                                                     " is not a regular file of ours"});
    if (c.folder) {
      ::RemoveDirectoryW(Utf8ToWide(path).c_str());
    } else {
      DeleteFile(path);
    }
    log.AppendData("two\r\n");
    EXPECT_EQ(dir.Read("a.log"), "Log Buffer: one\r\ntwo\r\n");
    EXPECT_EQ(dir.Read("target"), "secret");

    TLogFile strict;
    dir.Write("b.log", "");
    ASSERT_TRUE(::CreateHardLinkW(Utf8ToWide(dir.File("c.log")).c_str(),
                                  Utf8ToWide(dir.File("b.log")).c_str(), nullptr));
    EXPECT_THROW(strict.SetFileName(dir.File("b.log")), ENotOurFile);
  }
}

}  // namespace
}  // namespace tavo
