// The time window for SNMPv3 traps, under a clock the test sets.

#include "snmp/TrapTimeWindow.h"

#include <gtest/gtest.h>

#include <string>

namespace tavo {
namespace {

TEST(TrapTimeWindowTest, BootsMayNotGoBackNorTimeFallBehindTheWindow) {
  TTrapTimeWindow window(150);
  struct Step {
    const char* Engine;
    std::int32_t Boots;
    std::int32_t Time;
    std::int64_t NowMs;
    bool Accepted;
  };
  const Step steps[] = {
      {"A", 5, 1000, 0, true},          // first heard of: the latest
      {"A", 5, 851, 0, true},           // 149 s behind: inside
      {"A", 5, 849, 0, false},          // 151 s behind
      {"A", 4, 99999, 0, false},        // boots went back
      {"A", 5, 1000, 60000, true},      // a minute later, 60 s behind the clock
      {"A", 5, 909, 60000, false},      // 1060 - 150 = 910 is the oldest time still in
      {"A", 6, 3, 60000, true},         // a restart: new boots, time starts again
      {"A", 6, 0, 60000, true},         // a little behind
      {"A", 5, 5000, 60000, false},     // the old boots are gone
      {"B", 1, 10, 60000, true},        // each engine on its own
      {"A", 6, 3 + 200, 260000, true},  // on time after 200 s
      {"A", 6, 3 + 200 - 151, 260000, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.Engine) + " " + std::to_string(s.Boots) + " " +
                 std::to_string(s.Time));
    EXPECT_EQ(window.Accept(s.Engine, s.Boots, s.Time, s.NowMs), s.Accepted);
  }
}

TEST(TrapTimeWindowTest, TheLeastRecentlyHeardEngineIsForgottenFirst) {
  TTrapTimeWindow window(10);
  for (std::size_t i = 0; i < TTrapTimeWindow::kMaxEngines; ++i)
    ASSERT_TRUE(window.Accept("engine" + std::to_string(i), 2, 100, 0));
  ASSERT_TRUE(window.Accept("engine0", 2, 100, 0));  // heard again: the most recent now
  ASSERT_TRUE(window.Accept("new", 1, 1, 0));        // engine1 makes room
  EXPECT_EQ(window.EngineCount(), TTrapTimeWindow::kMaxEngines);
  EXPECT_FALSE(window.Accept("engine0", 1, 100, 0));  // still known: boots went back
  EXPECT_TRUE(window.Accept("engine1", 1, 100, 0));   // forgotten: taken as new
}

}  // namespace
}  // namespace tavo
