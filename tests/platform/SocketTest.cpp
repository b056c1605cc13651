#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "SocketTestPeer.h"

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
  EXPECT_EQ(ResolveAddress("localhost", 161, TSockType::eDatagram).ToString(), "127.0.0.1:161");
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

TEST(SocketTest, TcpExchangeAndTimeouts) {
  test::LoopbackPeer peer;
  std::thread echo([&] {
    if (!peer.Accept())
      return;
    peer.Send(peer.Receive());
    peer.Receive();  // until the client closes
    peer.CloseConnection();
  });

  TTcpStream s;
  s.Connect("127.0.0.1", peer.Port(), 2000);
  s.SendAll("ping", 2000);
  char buf[16];
  EXPECT_EQ(std::string(buf, s.Receive(buf, sizeof buf, 2000)), "ping");
  EXPECT_THROW(s.Receive(buf, sizeof buf, 50), ETimeout);  // the peer stays silent
  s.Close();
  echo.join();
  peer.CloseListener();

  TTcpStream refused;
  EXPECT_THROW(refused.Connect("127.0.0.1", peer.Port(), 2000), EOSError);
}

TEST(SocketTest, NonBlockingStreamWaitsUntilReadableOrItsDeadline) {
  using namespace std::chrono_literals;
  using Clock = std::chrono::steady_clock;
  test::LoopbackPeer peer;

  TTcpStream s;
  s.Connect("127.0.0.1", peer.Port(), 2000);
  ASSERT_TRUE(peer.Accept());
  s.SetNonBlocking();
  EXPECT_TRUE(test::ReadWouldBlock(s.Handle()));  // returns at once

  // The peer is silent: a time-out at the deadline, not before it.
  const auto start = Clock::now();
  EXPECT_FALSE(s.WaitReadable(start + 80ms));
  EXPECT_GE(Clock::now() - start, 80ms);
  EXPECT_FALSE(s.WaitReadable(start));  // a deadline that has passed: no wait
  EXPECT_TRUE(s.WaitWritable(Clock::now() + 2s));

  ASSERT_TRUE(peer.Send("hi"));
  EXPECT_TRUE(s.WaitReadable(Clock::now() + 2s));
  char buf[16];
  EXPECT_EQ(std::string(buf, s.Receive(buf, sizeof buf, 0)), "hi");

  // The peer's close wakes a reader too; the read then says so.
  peer.CloseConnection();
  EXPECT_TRUE(s.WaitReadable(Clock::now() + 2s));
  EXPECT_EQ(s.Receive(buf, sizeof buf, 0), 0u);
}

}  // namespace
}  // namespace tavo
