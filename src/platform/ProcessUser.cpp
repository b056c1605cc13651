#include "platform/ProcessUser.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <type_traits>
#include <vector>

namespace tavo {

std::string ProcessUserName() {
  const uid_t uid = ::geteuid();
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0)
    size = 4096;
  std::vector<char> buf(static_cast<std::size_t>(size));
  for (;;) {
    passwd pw{};
    passwd* found = nullptr;
    const int rc = ::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found);
    if (rc == ERANGE && buf.size() < 1024 * 1024) {
      buf.resize(buf.size() * 2);
      continue;
    }
    return rc == 0 && found && found->pw_name ? std::string(found->pw_name) : std::string();
  }
}

static_assert(std::is_same_v<TUserId, uid_t>, "a uid is TUserId");

TUserId ProcessUserId() {
  return ::geteuid();
}

}  // namespace tavo
