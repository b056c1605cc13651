#include "snmp/SnmpEndpoint.h"

#include <charconv>

namespace tavo {

bool ParsePortText(const std::string& aText, std::uint16_t& aPort) {
  if (aText.empty() || aText.size() > 5)
    return false;
  for (char c : aText) {
    if (c < '0' || c > '9')
      return false;
  }
  unsigned value = 0;
  std::from_chars(aText.data(), aText.data() + aText.size(), value);
  if (value > 65535)
    return false;
  aPort = static_cast<std::uint16_t>(value);
  return true;
}

TSNMPSend::TSNMPSend()
    : FSock(std::make_unique<TUdpSocket>()),
      FQuery(std::make_unique<TSNMPRec>()),
      FReply(std::make_unique<TSNMPRec>()) {}

TSNMPSend::~TSNMPSend() = default;

bool TSNMPSend::SendTrap() {
  bool socketOk = false;
  TSocketAddress remote;
  std::uint16_t port = 0;
  if (!FTargetHost.empty() && ParsePortText(FTargetPort, port)) {
    try {
      remote = ResolveAddress(FTargetHost, port, TSockType::eDatagram);
      const bool anyInterface =
          FIPInterface.empty() || FIPInterface == "0.0.0.0" || FIPInterface == "::";
      if (anyInterface) {
        FSock->OpenFor(remote);
      } else {
        FSock->Bind(FIPInterface, 0);
      }
      socketOk = true;
    } catch (const EOSError&) {
      socketOk = false;
    }
  }
  // Encoding errors reach the caller whatever became of the socket.
  FBuffer = FQuery->EncodeBuf();
  if (!socketOk)
    return false;
  try {
    FSock->SendTo(FBuffer, remote);
  } catch (const EOSError&) {
    return false;
  }
  return true;
}

}  // namespace tavo
