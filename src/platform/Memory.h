#pragma once
// Memory: giving freed memory back to the system, and wiping secrets.

#include <cstddef>
#include <string>

namespace tavo {

// Returns free heap memory of every allocator arena to the system: after a
// burst has filled a queue and drained again, the allocator would otherwise
// keep the high-water mark resident for good.
void ReleaseFreeMemory();

// Overwrites aSize bytes at aData with zeros, in a way the compiler may not
// drop as a dead store (passwords about to be freed).
void SecureWipe(void* aData, std::size_t aSize);
// The same for a text's bytes; its length stays.
inline void SecureWipe(std::string& aText) {
  SecureWipe(aText.data(), aText.size());
}

}  // namespace tavo
