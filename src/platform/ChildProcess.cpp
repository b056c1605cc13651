#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/Environment.h"

extern char** environ;

namespace tavo {
namespace {

constexpr std::size_t kMaxOutput = 64 * 1024;

std::vector<char*> ArgvPointers(const std::vector<std::string>& aArgv) {
  std::vector<char*> argv;
  argv.reserve(aArgv.size() + 1);
  for (const std::string& a : aArgv)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Only async-signal-safe calls from here on: we are a fork of a threaded process.
void ResetSignalsInChild() {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig)
    ::sigaction(sig, &dfl, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

void WriteErrnoAndExit(int aFd, int aErr) {
  [[maybe_unused]] const ssize_t n = ::write(aFd, &aErr, sizeof aErr);
  ::_exit(127);
}

pid_t WaitPid(pid_t aPid, int* aStatus, int aFlags) {
  for (;;) {
    const pid_t r = ::waitpid(aPid, aStatus, aFlags);
    if (r >= 0 || errno != EINTR)
      return r;
  }
}

}  // namespace

int SpawnDetached(const std::vector<std::string>& aArgv) {
  if (aArgv.empty() || aArgv[0].empty())
    return EINVAL;
  std::vector<char*> argv = ArgvPointers(aArgv);
  const bool search = aArgv[0].find('/') == std::string::npos;

  int errPipe[2];
  if (::pipe2(errPipe, O_CLOEXEC) != 0)
    return errno;

  const pid_t child = ::fork();
  if (child < 0) {
    const int err = errno;
    ::close(errPipe[0]);
    ::close(errPipe[1]);
    return err;
  }
  if (child == 0) {
    // The intermediate child: a new session, then the grandchild runs the
    // program and we exit, so init adopts it and nobody has to reap it.
    ::close(errPipe[0]);
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild < 0)
      WriteErrnoAndExit(errPipe[1], errno);
    if (grandchild > 0)
      ::_exit(0);
    ResetSignalsInChild();
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
      ::dup2(devNull, 0);
      ::dup2(devNull, 1);
      ::dup2(devNull, 2);
    }
    // Our sockets and files are none of the program's business.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    if (search) {
      ::execvp(argv[0], argv.data());
    } else {
      ::execv(argv[0], argv.data());
    }
    WriteErrnoAndExit(errPipe[1], errno);
  }

  ::close(errPipe[1]);
  int status = 0;
  WaitPid(child, &status, 0);
  int err = 0;
  ssize_t n;
  do {
    n = ::read(errPipe[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  ::close(errPipe[0]);
  if (n == static_cast<ssize_t>(sizeof err))
    return err != 0 ? err : EIO;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return ECHILD;
  return 0;
}

TRunResult RunProcess(const std::vector<std::string>& aArgv, int aTimeoutMs, bool aCaptureOutput) {
  TRunResult result;
  if (aArgv.empty() || aArgv[0].empty()) {
    result.Error = EINVAL;
    return result;
  }
  std::vector<char*> argv = ArgvPointers(aArgv);

  int outPipe[2] = {-1, -1};
  if (aCaptureOutput && ::pipe2(outPipe, O_CLOEXEC) != 0) {
    result.Error = errno;
    return result;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (aCaptureOutput) {
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  const int spawnErr = ::posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (aCaptureOutput)
    ::close(outPipe[1]);
  if (spawnErr != 0) {
    if (aCaptureOutput)
      ::close(outPipe[0]);
    result.Error = spawnErr;
    return result;
  }

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(aTimeoutMs < 0 ? 0 : aTimeoutMs);
  const auto remainingMs = [&] {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
  };

  bool timedOut = false;
  if (aCaptureOutput) {
    char buf[4096];
    for (;;) {
      pollfd p{outPipe[0], POLLIN, 0};
      const int ready = ::poll(&p, 1, remainingMs());
      if (ready < 0 && errno == EINTR)
        continue;
      if (ready <= 0) {
        timedOut = ready == 0;
        break;
      }
      const ssize_t n = ::read(outPipe[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        break;
      const std::size_t room = kMaxOutput - result.Output.size();
      result.Output.append(buf, std::min(room, static_cast<std::size_t>(n)));
    }
    ::close(outPipe[0]);
  }

  int status = 0;
  for (;;) {
    if (!timedOut) {
      const pid_t r = WaitPid(pid, &status, WNOHANG);
      if (r == pid)
        break;
      if (r < 0) {
        result.Error = errno;
        return result;
      }
      if (remainingMs() > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
    }
    ::kill(pid, SIGKILL);
    WaitPid(pid, &status, 0);
    result.Error = ETIMEDOUT;
    return result;
  }
  if (WIFEXITED(status)) {
    result.ExitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.ExitStatus = 128 + WTERMSIG(status);
  }
  return result;
}

std::string FindProgram(const std::string& aName, int* aError) {
  const auto runnable = [](const std::string& aPath) {
    struct stat st {};
    if (::stat(aPath.c_str(), &st) != 0)
      return errno;
    if (!S_ISREG(st.st_mode))
      return EACCES;
    return ::access(aPath.c_str(), X_OK) == 0 ? 0 : errno;
  };
  int error = ENOENT;
  if (aName.find('/') != std::string::npos) {
    error = runnable(aName);
    if (error == 0)
      return aName;
  } else if (!aName.empty()) {
    const std::string path = EnvironmentValue("PATH", "/usr/local/bin:/usr/bin:/bin");
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t end = path.find(':', start);
      if (end == std::string::npos)
        end = path.size();
      const std::string dir = path.substr(start, end - start);
      start = end + 1;
      const std::string candidate = (dir.empty() ? "." : dir) + "/" + aName;
      if (runnable(candidate) == 0)
        return candidate;
    }
  }
  if (aError)
    *aError = error;
  return {};
}

}  // namespace tavo
