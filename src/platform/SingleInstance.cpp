#include "platform/SingleInstance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace tavo {

const int TSingleInstanceLock::kTaken = EADDRINUSE;
const int TSingleInstanceLock::kNameTooLong = ENAMETOOLONG;

TSingleInstanceLock::~TSingleInstanceLock() {
  Release();
}

void TSingleInstanceLock::Release() {
  if (fhLock != kNoLock) {
    ::close(static_cast<int>(fhLock));
    fhLock = kNoLock;
  }
}

int TSingleInstanceLock::Acquire(const std::string& aName) {
  Release();
  const std::string name = "Global\\" + aName;
  sockaddr_un addr{};
  // A leading NUL byte makes the address abstract; the name is not
  // NUL-terminated and its length is part of the address.
  if (aName.size() > kMaxNameLength || name.size() + 1 > sizeof addr.sun_path)
    return kNameTooLong;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());

  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return errno;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0) {
    const int err = errno;
    ::close(fd);
    return err;
  }
  fhLock = fd;
  return 0;
}

}  // namespace tavo
