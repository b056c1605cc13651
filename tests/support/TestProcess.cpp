#include "TestProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <stdexcept>

#include "TestSupport.h"

extern char** environ;

namespace tavo::test {

ChildProcess::ChildProcess(const std::vector<std::string>& aArgv, const std::string& aOutputBase,
                           const std::vector<std::string>& aEnv)
    : fsOutputBase(aOutputBase) {
  if (aArgv.empty())
    throw std::runtime_error("ChildProcess: no program");
  std::vector<char*> argv;
  for (const auto& a : aArgv)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  // tavo takes a machine-wide single-instance name: every program a test
  // starts gets its own, unless the test names one, so that tests run side
  // by side and beside a running agent.
  std::vector<std::string> env = aEnv;
  bool named = false;
  for (const auto& x : env)
    named |= x.rfind("TAVO_INSTANCE=", 0) == 0;
  if (!named) {
    static std::atomic<int> children{0};
    env.push_back("TAVO_INSTANCE=TavoTest-" + std::to_string(::getpid()) + "-" +
                  std::to_string(++children));
  }

  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool overridden = false;
    for (const auto& x : env)
      overridden |= x.substr(0, x.find('=')) == name;
    if (!overridden)
      envStore.push_back(entry);
  }
  for (const auto& x : env)
    envStore.push_back(x);
  std::vector<char*> envp;
  for (auto& e : envStore)
    envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  const std::string out = aOutputBase + ".out";
  const std::string err = aOutputBase + ".err";
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Default signal handling in the child, whatever the test runner blocks.
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const int rc = posix_spawnp(&fPid, argv[0], &fa, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    fPid = -1;
    throw std::runtime_error("cannot start " + aArgv[0] + ": " + std::strerror(rc));
  }
}

ChildProcess::~ChildProcess() {
  if (fPid > 0 && !fbExited) {
    ::kill(fPid, SIGKILL);
    WaitExit(std::chrono::seconds(5));
  }
}

bool ChildProcess::Running() {
  if (fbExited)
    return false;
  int status = 0;
  const pid_t r = ::waitpid(fPid, &status, WNOHANG);
  if (r == fPid) {
    fbExited = true;
    fiStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return false;
  }
  return true;
}

void ChildProcess::Signal(int aSignal) {
  if (!fbExited)
    ::kill(fPid, aSignal);
}

bool ChildProcess::WaitExit(std::chrono::milliseconds aTimeout) {
  return WaitFor([this] { return !Running(); }, aTimeout);
}

std::string ChildProcess::Stdout() const {
  try {
    return ReadWholeFile(fsOutputBase + ".out");
  } catch (...) {
    return {};
  }
}

std::string ChildProcess::Stderr() const {
  try {
    return ReadWholeFile(fsOutputBase + ".err");
  } catch (...) {
    return {};
  }
}

RunResult RunProgram(const std::vector<std::string>& aArgv, const std::string& aOutputBase,
                     std::chrono::milliseconds aTimeout, const std::vector<std::string>& aEnv) {
  ChildProcess child(aArgv, aOutputBase, aEnv);
  RunResult r;
  if (!child.WaitExit(aTimeout)) {
    child.Signal(SIGKILL);
    child.WaitExit(std::chrono::seconds(5));
  }
  r.Status = child.ExitStatus();
  r.Out = child.Stdout();
  r.Err = child.Stderr();
  return r;
}

}  // namespace tavo::test
