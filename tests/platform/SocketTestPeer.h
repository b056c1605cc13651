#pragma once
// The peer for the TCP stream's tests, written against the system's own
// calls rather than the code under test: a listening socket on 127.0.0.1
// with a port the system picked and the one connection it accepts. Each
// platform's half of the socket tests implements it.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Socket.h"

namespace tavo::test {

class LoopbackPeer {
 public:
  LoopbackPeer();
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  std::uint16_t Port() const { return fwPort; }
  bool Accept();
  // One read of at most 16 bytes; empty when the client closed.
  std::string Receive();
  bool Send(std::string_view aData);
  void CloseConnection();
  void CloseListener();

 private:
  TSocketHandle fhListen = kNoSocket;
  TSocketHandle fhConnection = kNoSocket;
  std::uint16_t fwPort = 0;
};

// A plain read of the socket, without waiting: true when the system says it
// would block.
bool ReadWouldBlock(TSocketHandle aSocket);

}  // namespace tavo::test
