#include "platform/ServiceNotify.h"

#include <systemd/sd-daemon.h>

#include <cerrno>
#include <cstdlib>

namespace tavo {

bool StartedByServiceManager() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  return socket && *socket;
}

int NotifyServiceManager(const std::string& aState) {
  // Keep NOTIFY_SOCKET: we report more than once.
  const int r = ::sd_notify(0, aState.c_str());
  if (r > 0)
    return 0;
  return r == 0 ? ENOTCONN : -r;
}

}  // namespace tavo
