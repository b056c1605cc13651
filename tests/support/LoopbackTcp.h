#pragma once
// A TCP listener on 127.0.0.1 and a port the system picked, and the few
// calls a test peer makes on the connections it accepts: the server side
// that platform/Socket.h leaves out, on POSIX sockets and Windows Sockets
// alike. Every wait is bounded.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Socket.h"

namespace tavo::test {

class LoopbackTcpListener {
 public:
  // Throws std::runtime_error when it cannot listen.
  LoopbackTcpListener();
  ~LoopbackTcpListener();
  LoopbackTcpListener(const LoopbackTcpListener&) = delete;
  LoopbackTcpListener& operator=(const LoopbackTcpListener&) = delete;

  std::uint16_t Port() const { return fwPort; }
  // A connection that came within aTimeoutMs, or kNoSocket.
  TSocketHandle Accept(int aTimeoutMs);

 private:
  TSocketHandle fhListen = kNoSocket;
  std::uint16_t fwPort = 0;
};

// true when aSocket has data (or its end) within aTimeoutMs.
bool WaitSocketReadable(TSocketHandle aSocket, int aTimeoutMs);
// Bytes read, 0 when the peer closed, negative on an error.
long ReceiveSome(TSocketHandle aSocket, char* aBuf, std::size_t aLen);
// false when the connection broke before all of aText went out.
bool SendAllText(TSocketHandle aSocket, std::string_view aText);
void CloseSocket(TSocketHandle aSocket);

}  // namespace tavo::test
