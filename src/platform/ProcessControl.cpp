#include "platform/ProcessControl.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>

#include "platform/ChildProcess.h"
#include "platform/Paths.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

TLinuxProcessControl gLinuxControl;
IProcessControl* gControl = &gLinuxControl;

bool SameFileName(const std::string& a, const std::string& b) {
  return !a.empty() && SameText(a, b);
}

std::string ReadLink(const std::string& aPath) {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink(aPath.c_str(), buf, sizeof buf);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf)
    return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string ReadSmallFile(const std::string& aPath, std::size_t aMax) {
  const int fd = ::open(aPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return {};
  std::string data;
  char buf[4096];
  while (data.size() < aMax) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (data.size() > aMax)
    data.resize(aMax);
  return data;
}

std::vector<std::string> SplitBlanks(const std::string& aText) {
  std::vector<std::string> words;
  std::string word;
  for (char c : aText) {
    if (c == ' ' || c == '\t') {
      if (!word.empty())
        words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty())
    words.push_back(std::move(word));
  return words;
}

// The resolved path of a program name as a shell would find it in PATH.
std::string FindInPath(const std::string& aName) {
  const std::string found = FindProgram(aName);
  return found.empty() ? found : RealPath(found);
}

// The file name of the program aExecutable runs: a link's target's name,
// the name as given when the path cannot be resolved.
std::string ProgramFileName(const std::string& aExecutable) {
  const std::string resolved = RealPath(aExecutable);
  return ExtractFileName(resolved.empty() ? aExecutable : resolved);
}

int PidfdSignal(int aPidFd, int aSignal) {
  return ::syscall(SYS_pidfd_send_signal, aPidFd, aSignal, nullptr, 0) == 0 ? 0 : errno;
}

// A pidfd turns readable once its process has ended.
bool WaitEnded(int aPidFd, int aTimeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd p{aPidFd, POLLIN, 0};
    const int ready = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
    if (ready < 0 && errno == EINTR)
      continue;
    return ready > 0;
  }
}

class TPidfdEndingProcess final : public IEndingProcess {
 public:
  explicit TPidfdEndingProcess(int aPidFd) : fhPidFd(aPidFd) {}
  ~TPidfdEndingProcess() override { ::close(fhPidFd); }
  TPidfdEndingProcess(const TPidfdEndingProcess&) = delete;
  TPidfdEndingProcess& operator=(const TPidfdEndingProcess&) = delete;

  bool EndForGood() override {
    if (WaitEnded(fhPidFd, 0))
      return false;
    if (PidfdSignal(fhPidFd, SIGKILL) != 0)
      return false;  // ended meanwhile (ESRCH)
    // The program is started again right after this: it should not meet
    // its old process still holding its files or ports.
    WaitEnded(fhPidFd, kEndWaitMs);
    return true;
  }

 private:
  int fhPidFd;
};

}  // namespace

// --- TLinuxProcessControl ------------------------------------------------------

std::vector<TProcessEntry> TLinuxProcessControl::Snapshot() {
  std::vector<TProcessEntry> processes;
  DIR* dir = ::opendir("/proc");
  if (!dir)
    return processes;
  const int self = CurrentProcessId();
  while (const dirent* ent = ::readdir(dir)) {
    char* end = nullptr;
    const long pid = std::strtol(ent->d_name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid > INT_MAX || pid == self)
      continue;
    const std::string base = std::string("/proc/") + ent->d_name;
    TProcessEntry p;
    p.Pid = static_cast<int>(pid);
    p.ExePath = ReadLink(base + "/exe");
    if (p.ExePath.empty())
      continue;  // a kernel thread, gone, or not ours to see
    static const std::string kDeleted = " (deleted)";
    if (p.ExePath.size() > kDeleted.size() &&
        p.ExePath.compare(p.ExePath.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
      p.ExePath.resize(p.ExePath.size() - kDeleted.size());
    }
    const std::string cmdline = ReadSmallFile(base + "/cmdline", 64 * 1024);
    std::size_t start = 0;
    while (start < cmdline.size()) {
      std::size_t stop = cmdline.find('\0', start);
      if (stop == std::string::npos)
        stop = cmdline.size();
      p.Args.push_back(cmdline.substr(start, stop - start));
      start = stop + 1;
    }
    p.Cwd = ReadLink(base + "/cwd");
    processes.push_back(std::move(p));
  }
  ::closedir(dir);
  return processes;
}

TEndRequest TLinuxProcessControl::RequestEnd(int aPid) {
  TEndRequest request;
  if (aPid <= 0 || aPid == CurrentProcessId()) {
    request.Error = EPERM;
    return request;
  }
  // Through a pidfd, so that the SIGKILL that may follow a cycle later
  // cannot reach another process that has been given the pid meanwhile.
  const long fd = ::syscall(SYS_pidfd_open, aPid, 0);
  if (fd < 0) {
    request.Error = errno == ESRCH ? 0 : errno;  // gone already counts as ended
    return request;
  }
  const int pidFd = static_cast<int>(fd);
  if (const int err = PidfdSignal(pidFd, SIGTERM); err != 0) {
    ::close(pidFd);
    request.Error = err == ESRCH ? 0 : err;
    return request;
  }
  request.Process = std::make_unique<TPidfdEndingProcess>(pidFd);
  return request;
}

IProcessControl& ProcessControl() {
  return *gControl;
}
void SetProcessControl(IProcessControl* aControl) {
  gControl = aControl ? aControl : &gLinuxControl;
}

int CurrentProcessId() {
  return static_cast<int>(::getpid());
}

// --- TExecutableMatcher -------------------------------------------------------

TExecutableMatcher::TExecutableMatcher(const std::string& aExecutable)
    : fsFileName(ProgramFileName(aExecutable)) {
  struct stat st {};
  if (::stat(aExecutable.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return;
  // The kernel reads at most this much of a "#!" line.
  const std::string head = ReadSmallFile(aExecutable, 256);
  if (head.compare(0, 2, "#!") != 0)
    return;
  const std::vector<std::string> words = SplitBlanks(head.substr(2, head.find('\n') - 2));
  if (words.empty())
    return;
  fbScript = true;
  fScript = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  fsInterpreterPath = RealPath(words[0]);
  if (ExtractFileName(words[0]) != "env")
    return;
  // "#!/usr/bin/env [-S] [NAME=VALUE] program": the program is the interpreter.
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w[0] == '-' || w.find('=') != std::string::npos)
      continue;
    fsInterpreterName = ExtractFileName(w);
    fsInterpreterPath = w.find('/') != std::string::npos ? RealPath(w) : FindInPath(w);
    return;
  }
  fsInterpreterPath.clear();
}

bool TExecutableMatcher::IsInterpreter(const TProcessEntry& aProcess) const {
  return (!fsInterpreterPath.empty() && aProcess.ExePath == fsInterpreterPath) ||
         SameFileName(ExtractFileName(aProcess.ExePath), fsInterpreterName);
}

bool TExecutableMatcher::RunsScript(const TProcessEntry& aProcess) const {
  for (std::size_t i = 1; i < aProcess.Args.size(); ++i) {
    const std::string& arg = aProcess.Args[i];
    if (arg.empty() || arg[0] == '-')
      continue;
    std::string path = arg;
    if (arg[0] != '/') {
      if (aProcess.Cwd.empty())
        return false;
      path = aProcess.Cwd + "/" + arg;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 &&
           TFileIdentity{static_cast<std::uint64_t>(st.st_dev),
                         static_cast<std::uint64_t>(st.st_ino)} == fScript;
  }
  return false;
}

bool TExecutableMatcher::Matches(const TProcessEntry& aProcess) const {
  if (fbScript && IsInterpreter(aProcess))
    return RunsScript(aProcess);
  return SameFileName(ExtractFileName(aProcess.ExePath), fsFileName);
}

}  // namespace tavo
