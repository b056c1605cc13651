#pragma once
// Programs started by tests: the real tavo, net-snmp's tools, a Python peer.
// Standard output and error go to files, so a test can read them while the
// program runs. Every wait is bounded; a child still running when its object
// goes is killed and reaped. Also: free ports for loopback peers, and the
// bounded poll of WaitFor.h.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "FreePorts.h"
#include "WaitFor.h"

namespace tavo::test {

class ChildProcess {
 public:
  // Starts aArgv[0] (a path, or a name looked up on PATH) with the test's
  // environment plus aEnv ("NAME=value"); stdout and stderr go to
  // aOutputBase + ".out" / ".err". Unless aEnv names one, the child gets a
  // TAVO_INSTANCE of its own. Throws std::runtime_error when the program
  // cannot be started.
  ChildProcess(const std::vector<std::string>& aArgv, const std::string& aOutputBase,
               const std::vector<std::string>& aEnv = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return fPid; }
  bool Running();
  void Signal(int aSignal);
  // true when the child ended within aTimeout.
  bool WaitExit(std::chrono::milliseconds aTimeout);
  // The exit code, or -N when signal N ended it; only after WaitExit.
  int ExitStatus() const { return fiStatus; }
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  pid_t fPid = -1;
  bool fbExited = false;
  int fiStatus = 0;
  std::string fsOutputBase;
};

struct RunResult {
  int Status = -1;  // as ChildProcess::ExitStatus; -9 when it had to be killed
  std::string Out;
  std::string Err;
};
// Runs a program to its end (killed after aTimeout).
RunResult RunProgram(const std::vector<std::string>& aArgv, const std::string& aOutputBase,
                     std::chrono::milliseconds aTimeout = std::chrono::seconds(30),
                     const std::vector<std::string>& aEnv = {});

}  // namespace tavo::test
