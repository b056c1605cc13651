#include "platform/Memory.h"

#include <malloc.h>
#include <windows.h>

namespace tavo {

void ReleaseFreeMemory() {
  // Hands the C runtime heap's free blocks back to the system.
  ::_heapmin();
}

void SecureWipe(void* aData, std::size_t aSize) {
  ::SecureZeroMemory(aData, aSize);
}

}  // namespace tavo
