#include <gtest/gtest.h>

#include "platform/SystemPower.h"

namespace tavo {
namespace {

// Both steps are recording fakes: nothing here can reboot anything.
struct Recorder {
  int PrivilegeError = 0;
  int RequestError = 0;
  int PrivilegeCalls = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Requests;

  TWin32PowerSettings Settings() {
    return {.EnableShutdownPrivilege =
                [this] {
                  ++PrivilegeCalls;
                  return PrivilegeError;
                },
            .RequestShutdown =
                [this](std::uint32_t aFlags, std::uint32_t aReason) {
                  Requests.emplace_back(aFlags, aReason);
                  return RequestError;
                }};
  }
};

TEST(Win32SystemPowerTest, ThePrivilegeFirstThenAPlannedRequestWithTheFlags) {
  struct Case {
    const char* What;
    int PrivilegeError;
    int RequestError;
    bool Accepted;
    std::size_t Requests;
    const char* ReasonStart;
  };
  const Case cases[] = {
      {"accepted", 0, 0, true, 1, ""},
      // ERROR_PRIVILEGE_NOT_HELD: no request without the privilege.
      {"no privilege", 1314, 0, false, 0, "shutdown privilege: "},
      // ERROR_SHUTDOWN_IN_PROGRESS
      {"refused", 0, 1115, false, 1, "ExitWindowsEx: "},
  };
  for (const Case& c : cases) {
    Recorder r;
    r.PrivilegeError = c.PrivilegeError;
    r.RequestError = c.RequestError;
    TWin32SystemPower power(r.Settings());
    std::string reason;
    EXPECT_EQ(power.Reboot(0x12, reason), c.Accepted) << c.What;
    EXPECT_EQ(r.PrivilegeCalls, 1) << c.What;
    ASSERT_EQ(r.Requests.size(), c.Requests) << c.What;
    if (c.Requests == 1) {
      EXPECT_EQ(r.Requests[0].first, 0x12u) << c.What;  // EWX_REBOOT | EWX_FORCEIFHUNG
      EXPECT_EQ(r.Requests[0].second, 0x80040001u) << c.What;
    }
    EXPECT_EQ(reason.rfind(c.ReasonStart, 0), 0u) << c.What << ": " << reason;
    if (!c.Accepted) {
      const int code = c.PrivilegeError ? c.PrivilegeError : c.RequestError;
      EXPECT_NE(reason.find("(" + std::to_string(code) + ")"), std::string::npos) << reason;
    }
    EXPECT_FALSE(power.RebootPending());
  }
}

TEST(Win32SystemPowerTest, TheDefaultRefuses) {
  std::string reason;
  EXPECT_FALSE(SystemPower().Reboot(0x12, reason));
  EXPECT_EQ(reason, "reboots are not enabled in this run");
}

}  // namespace
}  // namespace tavo
