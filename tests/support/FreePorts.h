#pragma once
// Ports on 127.0.0.1 that were free a moment ago (bound to 0, read,
// released), for peers that must be told their port before they start.

#include <cstdint>

namespace tavo::test {

std::uint16_t FreeUdpPort();
std::uint16_t FreeTcpPort();

}  // namespace tavo::test
