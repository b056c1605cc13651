#include "platform/Network.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/Errors.h"
#include "platform/NameLookup.h"
#include "platform/WideText.h"
#include "platform/WinsockStartup.h"

namespace tavo {

std::string HostName() {
  // The DNS host name, as gethostname() gives it on Linux; asked in wide
  // characters, so that a name outside the code page survives.
  wchar_t buf[256] = {};
  DWORD len = sizeof buf / sizeof buf[0];
  if (!::GetComputerNameExW(ComputerNameDnsHostname, buf, &len))
    return {};
  return WideToUtf8({buf, len});
}

std::optional<std::string> FirstIPv4Address(const std::string& aHost) {
  if (aHost.empty())
    return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  TAddrInfo res;
  int err = 0;
  try {
    if (LookUpAddresses(aHost, "", hints, res, err) != 0 || !res)
      return std::nullopt;
  } catch (const EOSError&) {
    return std::nullopt;  // no Windows Sockets: no address either
  }
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
