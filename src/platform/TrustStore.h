#pragma once
// The system's trusted root certificates where a TLS library does not find
// them by itself. OpenSSL reads Linux's bundle on its own; on Windows the
// roots live in the system's ROOT certificate store, which it cannot read.
// Any thread.

#include <string>
#include <vector>

namespace tavo {

// Each certificate of the system's root store in DER form: on Windows the
// ROOT store's, on Linux none. Empty when the store cannot be opened.
std::vector<std::string> SystemRootCertificates();

}  // namespace tavo
