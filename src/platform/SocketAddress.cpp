#include "platform/Socket.h"

// The address types and the wildcard, the same on both platforms: only the
// headers that declare the socket structures differ.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <cstring>

namespace tavo {

std::string TSocketAddress::Host() const {
  char buf[INET6_ADDRSTRLEN] = {};
  if (Family() == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&Storage);
    ::inet_ntop(AF_INET, &a->sin_addr, buf, sizeof buf);
  } else if (Family() == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&Storage);
    ::inet_ntop(AF_INET6, &a->sin6_addr, buf, sizeof buf);
  }
  return buf;
}

std::uint16_t TSocketAddress::Port() const {
  if (Family() == AF_INET)
    return ntohs(reinterpret_cast<const sockaddr_in*>(&Storage)->sin_port);
  if (Family() == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&Storage)->sin6_port);
  }
  return 0;
}

TSenderAddress::TSenderAddress(const TSocketAddress& aAddress) {
  const std::size_t n =
      std::min<std::size_t>(aAddress.Length, std::min(sizeof fBytes, sizeof aAddress.Storage));
  static_assert(sizeof fBytes >= sizeof(sockaddr_in6));
  std::memcpy(fBytes, &aAddress.Storage, n);
  fnLength = static_cast<std::uint8_t>(n);
}

bool TSenderAddress::operator==(const TSenderAddress& aOther) const {
  return fnLength == aOther.fnLength && std::memcmp(fBytes, aOther.fBytes, fnLength) == 0;
}

TSocketAddress TSenderAddress::Address() const {
  TSocketAddress a;
  std::memcpy(&a.Storage, fBytes, fnLength);
  a.Length = fnLength;
  return a;
}

std::string TSenderAddress::Host() const {
  return Address().Host();
}

std::string TSocketAddress::ToString() const {
  const std::string host = Host();
  const std::string port = std::to_string(Port());
  return Family() == AF_INET6 ? "[" + host + "]:" + port : host + ":" + port;
}

TSocketAddress ResolveAddress(const std::string& aHost, std::uint16_t aPort, TSockType aSockType) {
  if (aHost.empty()) {
    // The wildcard for binding: all IPv4 interfaces.
    TSocketAddress a;
    auto* in = reinterpret_cast<sockaddr_in*>(&a.Storage);
    in->sin_family = AF_INET;
    in->sin_port = htons(aPort);
    in->sin_addr.s_addr = htonl(INADDR_ANY);
    a.Length = sizeof(sockaddr_in);
    return a;
  }
  return ResolveAddresses(aHost, aPort, aSockType).front();
}

}  // namespace tavo
