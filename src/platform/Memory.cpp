#include "platform/Memory.h"

#include <malloc.h>
#include <string.h>

namespace tavo {

void ReleaseFreeMemory() {
  ::malloc_trim(0);
}

void SecureWipe(void* aData, std::size_t aSize) {
  ::explicit_bzero(aData, aSize);
}

}  // namespace tavo
