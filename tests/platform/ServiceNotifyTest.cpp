#include "platform/ServiceNotify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

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

// systemd may name a socket in the abstract namespace ("@name").
TEST_F(ServiceNotifyTest, AnAbstractSocketNameIsReachedToo) {
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  const std::string name = "tavo-notify-test-" + std::to_string(::getpid());
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr),
                   static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
            0);
  ::setenv("NOTIFY_SOCKET", ("@" + name).c_str(), 1);
  EXPECT_EQ(NotifyServiceManager("READY=1"), 0);
  char buf[64];
  const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
  ::close(fd);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), "READY=1");
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
  ::setenv("NOTIFY_SOCKET", "relative/name", 1);
  EXPECT_EQ(NotifyServiceManager("READY=1"), EINVAL);
}

}  // namespace
}  // namespace tavo
