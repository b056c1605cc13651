#pragma once
// Helpers for tests that start and end client programs: pid marker files,
// the stand-in client program, and clean-up of what a test started through
// the code under test. A test only ever signals processes it started itself.
// Starting a child of the test and bounded polls: TestProcess.h.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tavo::test {

// How long these tests wait for a process to appear or to go.
constexpr std::chrono::milliseconds kProcessWait = std::chrono::seconds(10);

// The pid written into aMarker (by TestSleeper or a test script), waiting
// for the file to appear; -1 after aTimeout.
int WaitForPidFile(const std::string& aMarker, std::chrono::milliseconds aTimeout = kProcessWait);

// true when aPid no longer runs: gone, or a zombie nobody has reaped yet.
bool ProcessGone(int aPid);

// Copies aFrom to aTo with mode 0755.
void CopyExecutable(const std::string& aFrom, const std::string& aTo);

// The built TestSleeper program.
std::string SleeperPath();

// Ends (SIGKILL) the processes it was given when it goes: for processes a
// test started detached, through the code under test. Add takes a pidfd at
// once, so call it while the process is known to run (its pid file has just
// appeared); the kill goes through that pidfd and can never reach another
// process that has since been given the same pid. A pid whose process is
// already gone is ignored. Throws std::runtime_error when the kernel has no
// pidfds (Linux before 5.3). On Windows a process handle stands for the
// pidfd and TerminateProcess for SIGKILL.
class KillOnExit {
 public:
  KillOnExit() = default;
  ~KillOnExit();
  KillOnExit(const KillOnExit&) = delete;
  KillOnExit& operator=(const KillOnExit&) = delete;
  void Add(int aPid);

 private:
  std::vector<std::intptr_t> fPidFds;  // process handles on Windows
};

}  // namespace tavo::test
