#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace tavo {

bool SetCurrentThreadNice(int aNice) {
  // On Linux the nice value belongs to the thread when given its id.
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), aNice) == 0;
}

}  // namespace tavo
