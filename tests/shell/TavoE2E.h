#pragma once
// Runs the real tavo in a temporary folder: writes tavo.ini, starts
// `tavo --foreground --config <dir>/tavo.ini` (behind a launcher such as
// wine, if one is set), and reads its log file.

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TestProcess.h"
#include "TestSupport.h"

namespace tavo::test {

class TavoRun {
 public:
  explicit TavoRun(const TempDir& aDir, const std::string& aIni,
                   std::vector<std::string> aExtraArgs = {});

  // What Start runs: Launcher's words (e.g. wine), then Program, then the
  // options; Env is added to the test's environment.
  std::vector<std::string> Launcher;
  std::string Program = TAVO_EXE;
  std::vector<std::string> Env;

  std::string IniPath() const { return fDir.File("tavo.ini"); }
  std::string LogPath() const { return fDir.File("tavo.log"); }
  void Start();
  ChildProcess& Process() { return *fProcess; }

  // The log file's lines without their time stamps ("Info:  text").
  std::vector<std::string> Lines() const;
  // Waits until a line contains aText; true when one does.
  bool WaitForLine(const std::string& aText,
                   std::chrono::milliseconds aTimeout = std::chrono::seconds(10)) const;
  // How many lines contain aText.
  int Count(const std::string& aText) const;
  // Sends aSignal and waits for the exit; true when it ended in time.
  bool Stop(int aSignal = SIGTERM, std::chrono::milliseconds aTimeout = std::chrono::seconds(6));
  // All lines joined, for failure messages.
  std::string Dump() const;

 private:
  const TempDir& fDir;
  std::vector<std::string> fExtraArgs;
  std::unique_ptr<ChildProcess> fProcess;
};

// Waits until aPort on 127.0.0.1 can no longer be bound, that is until the
// receiver holds it; true when it does within aTimeout.
bool WaitForUdpPortTaken(std::uint16_t aPort,
                         std::chrono::milliseconds aTimeout = std::chrono::seconds(5));

}  // namespace tavo::test
