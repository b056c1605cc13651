// The real tavo in desktop mode (offscreen): the console window is the main
// window, and SIGTERM or SIGINT closes it in order.

#include <gtest/gtest.h>

#include <algorithm>

#include "TavoE2E.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

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

}  // namespace
}  // namespace tavo::test
