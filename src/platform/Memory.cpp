#include "platform/Memory.h"

#include <malloc.h>

namespace tavo {

void ReleaseFreeMemory() {
  ::malloc_trim(0);
}

}  // namespace tavo
