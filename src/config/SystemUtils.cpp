#include "config/SystemUtils.h"

#include "platform/Network.h"
#include "platform/Paths.h"
#include "platform/SystemPower.h"

namespace tavo {

bool RebootSystem(std::uint16_t aFlags, bool aForce, std::string* aReason) {
  if (aForce)
    aFlags |= 0x10;
  std::string reason;
  const bool accepted = SystemPower().Reboot(aFlags, reason);
  if (aReason)
    *aReason = reason;
  return accepted;
}

std::string GetLocalIpAddress() {
  const std::string host = HostName();
  if (host.empty())
    return {};
  return FirstIPv4Address(host).value_or("127.0.0.1");
}

std::string CombinePath(const std::string& aBase, const std::string& aPath) {
  std::string joined;
  if (IsAbsolutePath(aPath)) {
    joined = aPath;
  } else if (!aPath.empty() && IsPathDelimiter(aPath.front())) {
    // Windows: from the root of the folder's drive or share.
    joined = ExtractFileDrive(aBase) + aPath;
  } else {
    joined = ExtractFilePath(aBase) + aPath;
  }
  std::string result = NormalizePath(joined);
  if (PathLength(result) > kMaxPath)
    return {};
  return result;
}

std::string UnquoteText(const std::string& aText, char aQuote) {
  const auto first = aText.find(aQuote);
  if (first == std::string::npos)
    return aText;
  std::string rest = aText.substr(first + 1);
  const auto second = rest.find(aQuote);
  if (second != std::string::npos)
    rest.resize(second);
  return rest;
}

bool IsDigitsOnly(std::string_view aText) {
  for (char c : aText) {
    if (c < '0' || c > '9')
      return false;
  }
  return true;
}

}  // namespace tavo
