#include "platform/Network.h"

#include <windows.h>

#include "platform/WideText.h"

// A stand-in until the Windows Sockets half is written: the host name is the
// machine's DNS name, and only a dotted IPv4 text counts as an address (a
// name is not looked up, so GetLocalIpAddress answers "127.0.0.1").

namespace tavo {
namespace {

bool IsDottedQuad(const std::string& aText) {
  int parts = 0;
  std::size_t at = 0;
  while (parts < 4) {
    std::size_t digits = 0;
    unsigned value = 0;
    while (at < aText.size() && aText[at] >= '0' && aText[at] <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(aText[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255)
      return false;
    ++parts;
    if (parts < 4) {
      if (at >= aText.size() || aText[at] != '.')
        return false;
      ++at;
    }
  }
  return at == aText.size();
}

}  // namespace

std::string HostName() {
  wchar_t buf[256] = {};
  DWORD size = sizeof buf / sizeof buf[0];
  if (!::GetComputerNameExW(ComputerNameDnsHostname, buf, &size))
    return {};
  return WideToUtf8(std::wstring(buf, size));
}

std::optional<std::string> FirstIPv4Address(const std::string& aHost) {
  if (IsDottedQuad(aHost))
    return aHost;
  return std::nullopt;
}

bool IsIPv4Address(const std::string& aText) {
  return IsDottedQuad(aText);
}

}  // namespace tavo
