#pragma once
// The machine's own name and address, and telling numeric addresses from
// host names.

#include <optional>
#include <string>

namespace tavo {

// gethostname(); empty when it fails.
std::string HostName();
// The first IPv4 address aHost resolves to, in dotted form.
std::optional<std::string> FirstIPv4Address(const std::string& aHost);
// True when aText is a numeric IPv4 (dotted quad) or IPv6 address, as
// inet_pton reads them; a host name or anything else is false.
bool IsIpAddress(const std::string& aText);
// The same for IPv4 only: four decimal parts, nothing else.
bool IsIPv4Address(const std::string& aText);

}  // namespace tavo
