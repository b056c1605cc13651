#include "platform/ServiceNotify.h"

#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

#include "NotifySocket.h"
#include "TestSupport.h"

namespace tavo {
namespace {

using namespace std::chrono_literals;

class ServiceNotifyTest : public ::testing::Test {
 protected:
  void TearDown() override { ::unsetenv("NOTIFY_SOCKET"); }
  test::TempDir fDir;
};

TEST_F(ServiceNotifyTest, ReportsReachTheSocketTheServiceManagerNamed) {
  test::NotifySocket socket(fDir.File("notify"));
  ::setenv("NOTIFY_SOCKET", socket.Path().c_str(), 1);
  EXPECT_TRUE(StartedByServiceManager());
  EXPECT_EQ(NotifyServiceManager("READY=1\nSTATUS=Running"), 0);
  EXPECT_EQ(NotifyServiceManager("STOPPING=1"), 0) << "the variable is kept for later reports";
  EXPECT_EQ(socket.Receive(2s), "READY=1\nSTATUS=Running");
  EXPECT_EQ(socket.Receive(2s), "STOPPING=1");
}

TEST_F(ServiceNotifyTest, WithoutServiceManagerOrListenerTheReportFails) {
  ::unsetenv("NOTIFY_SOCKET");
  EXPECT_FALSE(StartedByServiceManager());
  EXPECT_EQ(NotifyServiceManager("READY=1"), ENOTCONN);
  ::setenv("NOTIFY_SOCKET", "", 1);
  EXPECT_FALSE(StartedByServiceManager());

  ::setenv("NOTIFY_SOCKET", fDir.File("nobody-listens").c_str(), 1);
  EXPECT_TRUE(StartedByServiceManager());
  EXPECT_NE(NotifyServiceManager("READY=1"), 0);
}

}  // namespace
}  // namespace tavo
