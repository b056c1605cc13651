#include "ProcessTestSupport.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <stdexcept>

#include "ChildProcess.h"
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

KillOnExit::~KillOnExit() {
  for (int pid : fPids) {
    if (pid > 0)
      ::kill(pid, SIGKILL);
  }
}

}  // namespace tavo::test
