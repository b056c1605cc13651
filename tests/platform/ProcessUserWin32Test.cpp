// The account we run as on Windows, and the thread priority levels the
// nice values map to.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/ProcessUser.h"
#include "platform/ThreadPriority.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

TEST(ProcessUserTest, TheAccountNameAsWindowsGivesItAndNoNumber) {
  wchar_t name[257];
  DWORD size = 257;
  ASSERT_TRUE(::GetUserNameW(name, &size));
  const std::string user = ProcessUserName();
  EXPECT_FALSE(user.empty());
  EXPECT_EQ(user, WideToUtf8(std::wstring(name, size - 1)));
  EXPECT_EQ(user.find('\0'), std::string::npos);
  EXPECT_EQ(ProcessUserId(), kNoUserId);
}

TEST(ThreadPriorityTest, NiceValuesMapOntoThePriorityLevels) {
  const struct {
    int Nice;
    int Priority;
  } cases[] = {
      {-20, THREAD_PRIORITY_HIGHEST},     {-10, THREAD_PRIORITY_HIGHEST},
      {-9, THREAD_PRIORITY_ABOVE_NORMAL}, {-1, THREAD_PRIORITY_ABOVE_NORMAL},
      {0, THREAD_PRIORITY_NORMAL},        {1, THREAD_PRIORITY_BELOW_NORMAL},
      {9, THREAD_PRIORITY_BELOW_NORMAL},  {10, THREAD_PRIORITY_LOWEST},
      {19, THREAD_PRIORITY_LOWEST},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Nice);
    // A thread of its own: the level stays with the thread that asked.
    int got = 0;
    bool granted = false;
    std::thread([&] {
      granted = SetCurrentThreadNice(c.Nice);
      got = ::GetThreadPriority(::GetCurrentThread());
    }).join();
    EXPECT_TRUE(granted);
    EXPECT_EQ(got, c.Priority);
  }
  EXPECT_EQ(::GetThreadPriority(::GetCurrentThread()), THREAD_PRIORITY_NORMAL);
}

}  // namespace
}  // namespace tavo
