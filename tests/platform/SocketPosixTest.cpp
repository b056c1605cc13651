// The POSIX half of the socket tests: the stream tests' peer, and the
// receive buffer above the system's cap.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "SocketTestPeer.h"

namespace tavo {
namespace test {

LoopbackPeer::LoopbackPeer() {
  fhListen = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::bind(fhListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  EXPECT_EQ(::listen(fhListen, 1), 0);
  socklen_t len = sizeof addr;
  ::getsockname(fhListen, reinterpret_cast<sockaddr*>(&addr), &len);
  fwPort = ntohs(addr.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  CloseConnection();
  CloseListener();
}

bool LoopbackPeer::Accept() {
  fhConnection = ::accept(fhListen, nullptr, nullptr);
  return fhConnection >= 0;
}

std::string LoopbackPeer::Receive() {
  char buf[16];
  const ssize_t n = ::recv(fhConnection, buf, sizeof buf, 0);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

bool LoopbackPeer::Send(std::string_view aData) {
  return ::send(fhConnection, aData.data(), aData.size(), 0) == static_cast<ssize_t>(aData.size());
}

void LoopbackPeer::CloseConnection() {
  if (fhConnection >= 0)
    ::close(fhConnection);
  fhConnection = kNoSocket;
}

void LoopbackPeer::CloseListener() {
  if (fhListen >= 0)
    ::close(fhListen);
  fhListen = kNoSocket;
}

bool ReadWouldBlock(TSocketHandle aSocket) {
  char buf[16];
  return ::recv(aSocket, buf, sizeof buf, 0) == -1 && errno == EAGAIN;
}

}  // namespace test

namespace {

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

}  // namespace
}  // namespace tavo
