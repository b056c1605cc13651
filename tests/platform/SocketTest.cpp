#include "platform/Socket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace tavo {
namespace {

TEST(SocketTest, UdpDatagramArrivesWithSender) {
  TUdpSocket receiver;
  receiver.Bind("127.0.0.1", 0);
  const std::uint16_t port = receiver.LocalPort();
  ASSERT_NE(port, 0);

  TUdpSocket sender;
  sender.SendTo("hello", ResolveAddress("localhost", port, TSockType::eDatagram));
  ASSERT_TRUE(receiver.WaitReadable(2000));
  char buf[64];
  TSocketAddress from;
  const std::size_t n = receiver.ReceiveFrom(buf, sizeof buf, from);
  EXPECT_EQ(std::string(buf, n), "hello");
  EXPECT_EQ(from.Host(), "127.0.0.1");
  EXPECT_EQ(from.Port(), sender.LocalPort());
  EXPECT_FALSE(receiver.WaitReadable(10));
}

TEST(SocketTest, ResolutionPrefersIPv4AndFailsClearly) {
  EXPECT_EQ(ResolveAddress("localhost", 161, TSockType::eDatagram).Family(), AF_INET);
  EXPECT_EQ(ResolveAddress("", 162, TSockType::eDatagram).ToString(), "0.0.0.0:162");
  EXPECT_THROW(ResolveAddress("no-such-host.invalid", 1, TSockType::eDatagram), EOSError);
}

TEST(SocketTest, BindingABusyPortThrows) {
  TUdpSocket first;
  first.Bind("127.0.0.1", 0);
  TUdpSocket second;
  EXPECT_THROW(second.Bind("127.0.0.1", first.LocalPort()), EOSError);
  EXPECT_FALSE(second.IsOpen());
}

TEST(SocketTest, ABindThatFailedCanBeRetriedOnTheSameSocket) {
  auto first = std::make_unique<TUdpSocket>();
  first->Bind("127.0.0.1", 0);
  const std::uint16_t port = first->LocalPort();
  TUdpSocket second;
  second.Open(TAddressFamily::eIPv4);
  EXPECT_THROW(second.BindOpen("127.0.0.1", port), EOSError);
  EXPECT_TRUE(second.IsOpen());
  first.reset();
  second.BindOpen("127.0.0.1", port);
  EXPECT_EQ(second.LocalPort(), port);
}

// CAP_NET_ADMIN (bit 12) among the effective capabilities.
bool HasNetAdmin() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f)
    return false;
  char line[256];
  unsigned long long caps = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "CapEff: %llx", &caps) == 1)
      break;
  std::fclose(f);
  return (caps >> 12) & 1;
}

TEST(SocketTest, AReceiveBufferAboveTheSystemCapIsGrantedWithPrivilege) {
  int cap = 0;
  if (FILE* f = std::fopen("/proc/sys/net/core/rmem_max", "r")) {
    if (std::fscanf(f, "%d", &cap) != 1)
      cap = 0;
    std::fclose(f);
  }
  if (cap <= 0 || cap > (1 << 26))
    GTEST_SKIP() << "net.core.rmem_max unreadable or very large";
  TUdpSocket socket;
  socket.Open(TAddressFamily::eIPv4);
  const int wanted = 4 * cap;
  const int granted = socket.SetReceiveBuffer(wanted);
  if (HasNetAdmin())
    EXPECT_GE(granted, wanted);
  else
    EXPECT_GT(granted, 0);
}

TEST(SocketTest, BatchReaderTakesWhatWaitsInBatchesAndCutsLongDatagrams) {
  TUdpSocket receiver;
  receiver.Bind("127.0.0.1", 0);
  TUdpSocket sender;
  const TSocketAddress to = ResolveAddress("127.0.0.1", receiver.LocalPort(), TSockType::eDatagram);
  for (int i = 0; i < 5; ++i)
    sender.SendTo("d" + std::to_string(i), to);
  sender.SendTo(std::string(100, 'x'), to);
  TUdpBatchReader reader(4, 64);
  ASSERT_TRUE(receiver.WaitReadable(2000));
  std::vector<std::string> got;
  for (int turn = 0; turn < 10 && got.size() < 6; ++turn) {
    const std::size_t n = reader.Read(receiver);
    EXPECT_LE(n, 4u);
    for (std::size_t i = 0; i < n; ++i) {
      got.emplace_back(reader.Data(i));
      EXPECT_EQ(reader.From(i).Port(), sender.LocalPort());
    }
  }
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[0], "d0");
  EXPECT_EQ(got[4], "d4");
  EXPECT_EQ(got[5], std::string(64, 'x'));
  EXPECT_EQ(reader.Read(receiver), 0u);  // nothing waits: no block
}

// A listening TCP socket on 127.0.0.1 and a port the system picked: the
// peer for the stream's tests, written against the system's own calls.
int LoopbackListener(sockaddr_in& aAddr) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  aAddr = {};
  aAddr.sin_family = AF_INET;
  aAddr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&aAddr), sizeof aAddr), 0);
  EXPECT_EQ(::listen(listener, 1), 0);
  socklen_t len = sizeof aAddr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&aAddr), &len);
  return listener;
}

TEST(SocketTest, TcpExchangeAndTimeouts) {
  sockaddr_in addr{};
  const int listener = LoopbackListener(addr);

  std::thread peer([&] {
    const int c = ::accept(listener, nullptr, nullptr);
    char buf[16];
    const ssize_t n = ::recv(c, buf, sizeof buf, 0);
    ::send(c, buf, static_cast<std::size_t>(n), 0);
    ::recv(c, buf, sizeof buf, 0);  // until the client closes
    ::close(c);
  });

  TTcpStream s;
  s.Connect("127.0.0.1", ntohs(addr.sin_port), 2000);
  s.SendAll("ping", 2000);
  char buf[16];
  EXPECT_EQ(std::string(buf, s.Receive(buf, sizeof buf, 2000)), "ping");
  EXPECT_THROW(s.Receive(buf, sizeof buf, 50), ETimeout);  // the peer stays silent
  s.Close();
  peer.join();
  ::close(listener);

  TTcpStream refused;
  EXPECT_THROW(refused.Connect("127.0.0.1", ntohs(addr.sin_port), 2000), EOSError);
}

TEST(SocketTest, NonBlockingStreamWaitsUntilReadableOrItsDeadline) {
  using namespace std::chrono_literals;
  using Clock = std::chrono::steady_clock;
  sockaddr_in addr{};
  const int listener = LoopbackListener(addr);

  TTcpStream s;
  s.Connect("127.0.0.1", ntohs(addr.sin_port), 2000);
  const int peer = ::accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  s.SetNonBlocking();
  char buf[16];
  EXPECT_EQ(::recv(s.Handle(), buf, sizeof buf, 0), -1);  // would block: returns at once
  EXPECT_EQ(errno, EAGAIN);

  // The peer is silent: a time-out at the deadline, not before it.
  const auto start = Clock::now();
  EXPECT_FALSE(s.WaitReadable(start + 80ms));
  EXPECT_GE(Clock::now() - start, 80ms);
  EXPECT_FALSE(s.WaitReadable(start));  // a deadline that has passed: no wait
  EXPECT_TRUE(s.WaitWritable(Clock::now() + 2s));

  ASSERT_EQ(::send(peer, "hi", 2, 0), 2);
  EXPECT_TRUE(s.WaitReadable(Clock::now() + 2s));
  EXPECT_EQ(std::string(buf, s.Receive(buf, sizeof buf, 0)), "hi");

  // The peer's close wakes a reader too; the read then says so.
  ::close(peer);
  EXPECT_TRUE(s.WaitReadable(Clock::now() + 2s));
  EXPECT_EQ(s.Receive(buf, sizeof buf, 0), 0u);
  ::close(listener);
}

}  // namespace
}  // namespace tavo
