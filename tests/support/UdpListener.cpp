#include "UdpListener.h"

#include <vector>

namespace tavo::test {

UdpListener::UdpListener() {
  fSock.Bind("127.0.0.1", 0);
  fwPort = fSock.LocalPort();
}

std::string UdpListener::Address() const {
  return "127.0.0.1:" + std::to_string(fwPort);
}

std::string UdpListener::Receive(std::chrono::milliseconds aTimeout, TSocketAddress* aFrom) {
  if (!fSock.WaitReadable(static_cast<int>(aTimeout.count())))
    return std::string();
  std::vector<char> buf(65536);  // the largest datagram, whole
  TSocketAddress from;
  const std::size_t n = fSock.ReceiveFrom(buf.data(), buf.size(), from);
  if (aFrom)
    *aFrom = from;
  return std::string(buf.data(), n);
}

bool UdpListener::Quiet(std::chrono::milliseconds aTimeout) {
  return !fSock.WaitReadable(static_cast<int>(aTimeout.count()));
}

}  // namespace tavo::test
