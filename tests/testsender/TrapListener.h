#pragma once
// A UDP socket on 127.0.0.1 with a port the system picked, for the traps the
// test sender sends; every wait is bounded.

#include <string>

#include "platform/Socket.h"
#include "snmp/BerEncoding.h"

namespace tavo::test {

class TrapListener {
 public:
  TrapListener() { fSock.Bind("127.0.0.1", 0); }
  std::string Port() const { return std::to_string(fSock.LocalPort()); }
  // The next datagram within two seconds; empty when none came.
  std::string Receive() {
    if (!fSock.WaitReadable(2000))
      return std::string();
    char buf[65536];
    SocketAddress from;
    return std::string(buf, fSock.ReceiveFrom(buf, sizeof buf, from));
  }
  // true when nothing arrives for a short while.
  bool Quiet() { return !fSock.WaitReadable(150); }

 private:
  UdpSocket fSock;
};

// The msgID of an SNMPv3 message: the first item of its header.
inline std::string MsgIdOf(const std::string& aBytes) {
  std::size_t pos = 0;
  std::int32_t tag = 0;
  BerReadItemShallow(aBytes, pos, tag);  // message
  BerReadItem(aBytes, pos, tag);         // version
  BerReadItemShallow(aBytes, pos, tag);  // header
  return BerReadItem(aBytes, pos, tag);
}

}  // namespace tavo::test
