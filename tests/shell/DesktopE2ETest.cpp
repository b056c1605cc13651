// The real tavo in desktop mode (offscreen): the console window is the main
// window, and SIGTERM or SIGINT closes it in order.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "ProcessTestSupport.h"
#include "TavoE2E.h"
#include "platform/Files.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(DesktopE2ETest, AStopSignalClosesTheWindowInOrder) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    dir.Write("tavo.ini", "[Logging]\nLevel=Trace\n[General]\nCheckInterval=1\n");
    ChildProcess tavo({TAVO_EXE, "--config", dir.File("tavo.ini")}, dir.File("tavo"),
                      {"QT_QPA_PLATFORM=offscreen"});
    const auto lines = [&] {
      try {
        return LogLinesOf(ReadWholeFile(dir.File("tavo.log")));
      } catch (...) {
        return std::vector<std::string>();
      }
    };
    const auto has = [&](const std::string& aLine) {
      const auto l = lines();
      return std::find(l.begin(), l.end(), aLine) != l.end();
    };
    ASSERT_TRUE(WaitFor([&] { return has("Trace: Initialization done"); }, 20s)) << tavo.Stderr();
    tavo.Signal(signal);
    ASSERT_TRUE(tavo.WaitExit(10s));
    EXPECT_EQ(tavo.ExitStatus(), 0) << tavo.Stderr();
    const auto all = lines();
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(all[1], "Info:  Application start: Tavo V1.11.03 ");
    EXPECT_EQ(all.back(), "Info:  Application closed");
  }
}

// Installed, the plugin stands in ../lib/tavo/ beside the program's bin
// folder (as /usr/bin/tavo and /usr/lib/tavo/); found there without any
// library path. Missing from both places, the start names the first.
TEST(DesktopE2ETest, TheInstalledLayoutFindsThePluginInLibTavo) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("bin").c_str(), 0755), 0);
  const std::string program = dir.File("bin/tavo");
  CopyExecutable(TAVO_EXE, program);
  const std::string ini = dir.Write("tavo.ini", "[Logging]\nLevel=Trace\n");
  const std::vector<std::string> env = {
      "QT_QPA_PLATFORM=offscreen",
      "LD_LIBRARY_PATH=", "TAVO_INSTANCE=DesktopE2ETest-" + std::to_string(::getpid())};
  const RunResult missing = RunProgram({program, "--config", ini}, dir.File("missing"), 20s, env);
  EXPECT_EQ(missing.Status, 1);
  EXPECT_THAT(missing.Err, HasSubstr("tavo: the desktop console cannot be loaded (" +
                                     dir.File("bin/libtavo_desktop.so")));

  for (const char* folder : {"lib", "lib/tavo"})
    ASSERT_EQ(::mkdir(dir.File(folder).c_str(), 0755), 0);
  CopyExecutable(TAVO_DESKTOP_PLUGIN, dir.File("lib/tavo/libtavo_desktop.so"));
  ChildProcess tavo({program, "--config", ini}, dir.File("tavo"), env);
  ASSERT_TRUE(WaitFor(
      [&] {
        try {
          const auto l = LogLinesOf(ReadWholeFile(dir.File("tavo.log")));
          return std::find(l.begin(), l.end(), "Trace: Initialization done") != l.end();
        } catch (...) {
          return false;
        }
      },
      20s))
      << tavo.Stderr();
  tavo.Signal(SIGTERM);
  ASSERT_TRUE(tavo.WaitExit(10s));
  EXPECT_EQ(tavo.ExitStatus(), 0) << tavo.Stderr();
  EXPECT_EQ(LogLinesOf(ReadWholeFile(dir.File("tavo.log"))).back(), "Info:  Application closed");
}

// Without a reachable display Qt would abort; the start says why and ends
// with status 1, before any log file exists. A refused second start that
// tries its box on such a display ends the same way, its refusal told.
TEST(DesktopE2ETest, WithoutAReachableDisplayTheStartEndsWithAReason) {
  TempDir dir;
  const std::string ini = dir.Write("tavo.ini", "[Logging]\nLevel=Trace\n");
  const std::string instance = "DesktopE2ETest-" + std::to_string(::getpid());
  const std::vector<std::string> noDisplay = {
      "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "TAVO_INSTANCE=" + instance};
  const RunResult alone =
      RunProgram({TAVO_EXE, "--config", ini}, dir.File("alone"), 20s, noDisplay);
  EXPECT_EQ(alone.Status, 1) << alone.Err;
  EXPECT_THAT(alone.Err, HasSubstr("tavo: no display for the desktop console"));
  EXPECT_FALSE(FileExists(dir.File("tavo.log")));

  ChildProcess first({TAVO_EXE, "--foreground", "--config", ini}, dir.File("first"),
                     {"QT_QPA_PLATFORM=offscreen", "TAVO_INSTANCE=" + instance});
  ASSERT_TRUE(WaitFor([&] { return FileExists(dir.File("tavo.log")); }, 20s)) << first.Stderr();
  const RunResult refused = RunProgram({TAVO_EXE, "--config", ini}, dir.File("refused"), 20s,
                                       {"DISPLAY=:2147483", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=",
                                        "NOTIFY_SOCKET=", "TAVO_INSTANCE=" + instance});
  EXPECT_EQ(refused.Status, 1) << refused.Err;
  EXPECT_THAT(refused.Err, StartsWith("App \"" + instance + "\" already running!\n"));
  EXPECT_THAT(refused.Err, HasSubstr("tavo: no display for the desktop console"));
}

}  // namespace
}  // namespace tavo::test
