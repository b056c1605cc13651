#include "platform/ServiceNotify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "platform/Environment.h"
#include "platform/TextUtils.h"

namespace tavo {

int WatchdogIntervalMs() {
  const std::optional<std::int32_t> pid = TryStrToInt(EnvironmentValue("WATCHDOG_PID"));
  if (!EnvironmentValue("WATCHDOG_PID").empty() && (!pid || *pid != ::getpid()))
    return 0;
  const std::string usec = EnvironmentValue("WATCHDOG_USEC");
  unsigned long long value = 0;
  const auto r = std::from_chars(usec.data(), usec.data() + usec.size(), value);
  if (usec.empty() || r.ec != std::errc() || r.ptr != usec.data() + usec.size() || value == 0)
    return 0;
  return static_cast<int>(std::clamp<unsigned long long>(value / 3000, 1, 24ULL * 3600 * 1000));
}

bool StartedByServiceManager() {
  return !EnvironmentValue("NOTIFY_SOCKET").empty();
}

// The notify protocol is one datagram per report to the socket named in
// NOTIFY_SOCKET: a path, or "@name" for the abstract namespace. Written here
// rather than through libsystemd, which with its compression and crypto
// libraries would take most of a megabyte in every run for these few bytes.
int NotifyServiceManager(const std::string& aState) {
  // Keep NOTIFY_SOCKET: we report more than once.
  const std::string socketName = EnvironmentValue("NOTIFY_SOCKET");
  if (socketName.empty())
    return ENOTCONN;
  const char* name = socketName.c_str();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::size_t length = std::strlen(name);
  if ((name[0] != '/' && name[0] != '@') || length >= sizeof addr.sun_path)
    return EINVAL;
  std::memcpy(addr.sun_path, name, length);
  if (name[0] == '@')
    addr.sun_path[0] = '\0';
  // A path is passed with its terminating zero, an abstract name without.
  const socklen_t addrLength =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length + (name[0] == '@' ? 0 : 1));

  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return errno;
  ssize_t sent;
  do {
    sent = ::sendto(fd, aState.data(), aState.size(), MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&addr), addrLength);
  } while (sent < 0 && errno == EINTR);
  const int error = sent < 0 ? errno : 0;
  ::close(fd);
  return error;
}

}  // namespace tavo
