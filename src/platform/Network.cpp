#include "platform/Network.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include "platform/NameLookup.h"

namespace tavo {

std::string HostName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0)
    return {};
  return buf;
}

std::optional<std::string> FirstIPv4Address(const std::string& aHost) {
  if (aHost.empty())
    return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  TAddrInfo res;
  int err = 0;
  if (LookUpAddresses(aHost, "", hints, res, err) != 0 || !res)
    return std::nullopt;
  char buf[INET_ADDRSTRLEN] = {};
  const auto* in = reinterpret_cast<const sockaddr_in*>(res->ai_addr);
  ::inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf);
  return std::string(buf);
}

bool IsIpAddress(const std::string& aText) {
  unsigned char buf[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, aText.c_str(), buf) == 1 ||
         ::inet_pton(AF_INET6, aText.c_str(), buf) == 1;
}

bool IsIPv4Address(const std::string& aText) {
  unsigned char buf[sizeof(in_addr)];
  return ::inet_pton(AF_INET, aText.c_str(), buf) == 1;
}

}  // namespace tavo
