// The Windows half of the socket tests: the stream tests' peer on Windows
// Sockets, and what only Windows does to a UDP socket.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "SocketTestPeer.h"

namespace tavo {
namespace test {

LoopbackPeer::LoopbackPeer() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);  // counted: the peer's own start
  fhListen = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::bind(fhListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  EXPECT_EQ(::listen(fhListen, 1), 0);
  int len = sizeof addr;
  ::getsockname(fhListen, reinterpret_cast<sockaddr*>(&addr), &len);
  fwPort = ntohs(addr.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  CloseConnection();
  CloseListener();
  ::WSACleanup();
}

bool LoopbackPeer::Accept() {
  fhConnection = ::accept(fhListen, nullptr, nullptr);
  return fhConnection != kNoSocket;
}

std::string LoopbackPeer::Receive() {
  char buf[16];
  const int n = ::recv(fhConnection, buf, sizeof buf, 0);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

bool LoopbackPeer::Send(std::string_view aData) {
  return ::send(fhConnection, aData.data(), static_cast<int>(aData.size()), 0) ==
         static_cast<int>(aData.size());
}

void LoopbackPeer::CloseConnection() {
  if (fhConnection != kNoSocket)
    ::closesocket(fhConnection);
  fhConnection = kNoSocket;
}

void LoopbackPeer::CloseListener() {
  if (fhListen != kNoSocket)
    ::closesocket(fhListen);
  fhListen = kNoSocket;
}

bool ReadWouldBlock(TSocketHandle aSocket) {
  char buf[16];
  return ::recv(aSocket, buf, sizeof buf, 0) == SOCKET_ERROR &&
         ::WSAGetLastError() == WSAEWOULDBLOCK;
}

}  // namespace test

namespace {

// Windows reports a datagram cut by a short buffer as an error; the socket
// cuts it and goes on, as on Linux.
TEST(SocketTest, ADatagramLongerThanTheBufferIsCutNotAnError) {
  TUdpSocket receiver;
  receiver.Bind("127.0.0.1", 0);
  TUdpSocket sender;
  const TSocketAddress to = ResolveAddress("127.0.0.1", receiver.LocalPort(), TSockType::eDatagram);
  sender.SendTo("0123456789", to);
  sender.SendTo("next", to);
  ASSERT_TRUE(receiver.WaitReadable(2000));
  char buf[4];
  TSocketAddress from;
  EXPECT_EQ(std::string(buf, receiver.ReceiveFrom(buf, sizeof buf, from)), "0123");
  EXPECT_EQ(from.Port(), sender.LocalPort());
  ASSERT_TRUE(receiver.WaitReadable(2000));
  EXPECT_EQ(std::string(buf, receiver.ReceiveFrom(buf, sizeof buf, from)), "next");
}

// The batch reader switches the socket to non-blocking mode for its batch
// only: a plain read afterwards waits for the next datagram again.
TEST(SocketTest, TheBatchReaderLeavesTheSocketBlocking) {
  TUdpSocket receiver;
  receiver.Bind("127.0.0.1", 0);
  TUdpBatchReader reader(4, 64);
  EXPECT_EQ(reader.Read(receiver), 0u);
  const TSocketAddress to = ResolveAddress("127.0.0.1", receiver.LocalPort(), TSockType::eDatagram);
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    TUdpSocket sender;
    sender.SendTo("late", to);
  });
  char buf[8];
  TSocketAddress from;
  EXPECT_EQ(std::string(buf, receiver.ReceiveFrom(buf, sizeof buf, from)), "late");
  late.join();
}

}  // namespace
}  // namespace tavo
