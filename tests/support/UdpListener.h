#pragma once
// A UDP socket bound to 127.0.0.1 on a port the system picked: the peer a
// test points its sender at (a manager for trap recipients, a stand-in
// receiver for tavot and snmptrap). Used by one thread at a time; every wait
// is bounded. Throws EOSError when no socket can be bound.

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/Socket.h"

namespace tavo::test {

class UdpListener {
 public:
  UdpListener();

  std::uint16_t Port() const { return fwPort; }
  // "127.0.0.1:<port>", as net-snmp's tools take their target.
  std::string Address() const;
  // The next datagram within aTimeout, empty when none came (an empty
  // datagram reads the same). aFrom, when given, receives its sender.
  std::string Receive(std::chrono::milliseconds aTimeout = std::chrono::seconds(5),
                      TSocketAddress* aFrom = nullptr);
  // true when no datagram is waiting or arrives within aTimeout; what
  // arrives stays queued for Receive.
  bool Quiet(std::chrono::milliseconds aTimeout = std::chrono::milliseconds(150));

 private:
  TUdpSocket fSock;
  std::uint16_t fwPort = 0;
};

}  // namespace tavo::test
