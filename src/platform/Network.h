#pragma once
// The machine's own name and address.

#include <optional>
#include <string>

namespace tavo {

// gethostname(); empty when it fails.
std::string HostName();
// The first IPv4 address aHost resolves to, in dotted form.
std::optional<std::string> FirstIPv4Address(const std::string& aHost);

}  // namespace tavo
