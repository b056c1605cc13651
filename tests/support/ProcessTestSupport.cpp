#include "ProcessTestSupport.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "TestProcess.h"
#include "TestSupport.h"

namespace tavo::test {

int WaitForPidFile(const std::string& aMarker, std::chrono::milliseconds aTimeout) {
  int pid = -1;
  WaitFor(
      [&] {
        std::ifstream in(aMarker);
        return static_cast<bool>(in >> pid) && pid > 0;
      },
      aTimeout);
  return pid;
}

bool ProcessGone(int aPid) {
  if (aPid <= 0)
    return true;
  if (::kill(aPid, 0) != 0 && errno == ESRCH)
    return true;
  // A killed process whose parent has not reaped it yet stays a zombie.
  std::ifstream stat("/proc/" + std::to_string(aPid) + "/stat");
  std::string line;
  if (!std::getline(stat, line))
    return true;
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() &&
         (line[close + 2] == 'Z' || line[close + 2] == 'X');
}

void CopyExecutable(const std::string& aFrom, const std::string& aTo) {
  WriteWholeFile(aTo, ReadWholeFile(aFrom));
  if (::chmod(aTo.c_str(), 0755) != 0)
    throw std::runtime_error("chmod failed for " + aTo);
}

std::string SleeperPath() {
  return TAVO_TEST_SLEEPER;
}

void KillOnExit::Add(int aPid) {
  if (aPid <= 0)
    return;
  const long fd = ::syscall(SYS_pidfd_open, aPid, 0);
  if (fd < 0) {
    const int err = errno;
    if (err == ESRCH)
      return;  // already gone: nothing to end
    throw std::runtime_error("pidfd_open(" + std::to_string(aPid) +
                             ") failed: " + std::strerror(err));
  }
  fPidFds.push_back(static_cast<int>(fd));
}

KillOnExit::~KillOnExit() {
  for (const std::intptr_t fd : fPidFds) {
    // ESRCH when the process has ended meanwhile: then nothing is signalled.
    ::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0);
    ::close(static_cast<int>(fd));
  }
}

}  // namespace tavo::test
