#include "LoopbackTcp.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <stdexcept>

namespace tavo::test {
namespace {

#ifdef _WIN32
using TSockLen = int;
constexpr int kNoSignal = 0;  // Windows raises no SIGPIPE

// Not inherited, like SOCK_CLOEXEC: a program a test starts must not hold
// the peer's port open.
TSocketHandle NewStreamSocket() {
  return static_cast<TSocketHandle>(
      ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT));
}
TSocketHandle AcceptOn(TSocketHandle aListen) {
  return static_cast<TSocketHandle>(::accept(static_cast<SOCKET>(aListen), nullptr, nullptr));
}

void StartSockets() {
  // Counted by the system; the platform's own start-up is not exported.
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started)
    throw std::runtime_error("WSAStartup failed");
}
SOCKET Native(TSocketHandle aSocket) {
  return static_cast<SOCKET>(aSocket);
}
#else
using TSockLen = socklen_t;
constexpr int kNoSignal = MSG_NOSIGNAL;
void StartSockets() {}
TSocketHandle NewStreamSocket() {
  return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
TSocketHandle AcceptOn(TSocketHandle aListen) {
  return ::accept4(aListen, nullptr, nullptr, SOCK_CLOEXEC);
}
int Native(TSocketHandle aSocket) {
  return aSocket;
}
#endif

}  // namespace

LoopbackTcpListener::LoopbackTcpListener() {
  StartSockets();
  fhListen = NewStreamSocket();
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  TSockLen len = sizeof addr;
  if (fhListen == kNoSocket ||
      ::bind(Native(fhListen), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(Native(fhListen), 8) != 0 ||
      ::getsockname(Native(fhListen), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    if (fhListen != kNoSocket)
      CloseSocket(fhListen);
    throw std::runtime_error("loopback TCP listener: cannot listen");
  }
  fwPort = ntohs(addr.sin_port);
}

LoopbackTcpListener::~LoopbackTcpListener() {
  CloseSocket(fhListen);
}

TSocketHandle LoopbackTcpListener::Accept(int aTimeoutMs) {
  if (!WaitSocketReadable(fhListen, aTimeoutMs))
    return kNoSocket;
  return AcceptOn(fhListen);
}

bool WaitSocketReadable(TSocketHandle aSocket, int aTimeoutMs) {
#ifdef _WIN32
  WSAPOLLFD p{Native(aSocket), POLLIN, 0};
  return ::WSAPoll(&p, 1, aTimeoutMs) > 0;
#else
  pollfd p{aSocket, POLLIN, 0};
  return ::poll(&p, 1, aTimeoutMs) > 0;
#endif
}

long ReceiveSome(TSocketHandle aSocket, char* aBuf, std::size_t aLen) {
  for (;;) {
    const auto n = ::recv(Native(aSocket), aBuf, static_cast<int>(aLen), 0);
#ifndef _WIN32
    if (n < 0 && errno == EINTR)
      continue;
#endif
    return static_cast<long>(n);
  }
}

bool SendAllText(TSocketHandle aSocket, std::string_view aText) {
  std::size_t done = 0;
  while (done < aText.size()) {
    const auto n = ::send(Native(aSocket), aText.data() + done,
                          static_cast<int>(aText.size() - done), kNoSignal);
#ifndef _WIN32
    if (n < 0 && errno == EINTR)
      continue;
#endif
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void CloseSocket(TSocketHandle aSocket) {
  if (aSocket == kNoSocket)
    return;
#ifdef _WIN32
  ::closesocket(Native(aSocket));
#else
  ::close(aSocket);
#endif
}

}  // namespace tavo::test
