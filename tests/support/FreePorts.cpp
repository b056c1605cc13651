#include "FreePorts.h"

#include "LoopbackTcp.h"
#include "platform/Socket.h"

namespace tavo::test {

std::uint16_t FreeUdpPort() {
  TUdpSocket socket;
  socket.Bind("127.0.0.1", 0);
  return socket.LocalPort();
}

std::uint16_t FreeTcpPort() {
  return LoopbackTcpListener().Port();
}

}  // namespace tavo::test
