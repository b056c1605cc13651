#include <windows.h>

#include "platform/ThreadPriority.h"

namespace tavo {

bool SetCurrentThreadNice(int aNice) {
  // Never time-critical: a busy reader at that level would starve the
  // threads that empty its queue.
  int priority = THREAD_PRIORITY_NORMAL;
  if (aNice <= -10) {
    priority = THREAD_PRIORITY_HIGHEST;
  } else if (aNice < 0) {
    priority = THREAD_PRIORITY_ABOVE_NORMAL;
  } else if (aNice >= 10) {
    priority = THREAD_PRIORITY_LOWEST;
  } else if (aNice > 0) {
    priority = THREAD_PRIORITY_BELOW_NORMAL;
  }
  return ::SetThreadPriority(::GetCurrentThread(), priority) != 0;
}

}  // namespace tavo
