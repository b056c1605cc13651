#include "NotifySocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tavo::test {

NotifySocket::NotifySocket(const std::string& aPath) : fsPath(aPath) {
  sockaddr_un addr{};
  if (aPath.size() >= sizeof addr.sun_path)
    throw std::runtime_error("notify socket path too long: " + aPath);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, aPath.c_str(), aPath.size() + 1);
  fiSocket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fiSocket < 0)
    throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  ::unlink(aPath.c_str());
  if (::bind(fiSocket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    const int err = errno;
    ::close(fiSocket);
    throw std::runtime_error("bind " + aPath + ": " + std::strerror(err));
  }
}

NotifySocket::~NotifySocket() {
  ::close(fiSocket);
  ::unlink(fsPath.c_str());
}

std::optional<std::string> NotifySocket::Receive(std::chrono::milliseconds aTimeout) {
  pollfd pfd{fiSocket, POLLIN, 0};
  const int r = ::poll(&pfd, 1, static_cast<int>(aTimeout.count()));
  if (r <= 0)
    return std::nullopt;
  char buf[4096];
  const ssize_t n = ::recv(fiSocket, buf, sizeof buf, 0);
  if (n < 0)
    return std::nullopt;
  return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace tavo::test
