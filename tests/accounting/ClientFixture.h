#pragma once
// What the client tests share: recording stand-ins for the processes, the
// shell, the service manager and the machine's power; clients built on
// them; and the fixture for clients that start real processes.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "AccountingFixture.h"
#include "ProcessTestSupport.h"
#include "platform/ProcessControl.h"
#include "platform/ShellOpen.h"
#include "platform/SysServiceManager.h"
#include "platform/SystemPower.h"

namespace tavo::test {

using TextLines = std::vector<std::string>;

// What the fakes below did, in order: "term 501" (an end asked for),
// "kill 501" (ended for good), "close 501" (handle let go), "open FILE".
using EventLog = std::vector<std::string>;

// A process asked to end; it still runs while its pid is in *Running.
class RecordingEndingProcess : public IEndingProcess {
 public:
  RecordingEndingProcess(int aPid, EventLog& aEvents, const std::set<int>& aRunning)
      : fiPid(aPid), fEvents(aEvents), fRunning(aRunning) {}
  ~RecordingEndingProcess() override { fEvents.push_back("close " + std::to_string(fiPid)); }
  bool EndForGood() override {
    if (!fRunning.count(fiPid))
      return false;
    fEvents.push_back("kill " + std::to_string(fiPid));
    return true;
  }

 private:
  int fiPid;
  EventLog& fEvents;
  const std::set<int>& fRunning;
};

class RecordingProcessControl : public IProcessControl {
 public:
  explicit RecordingProcessControl(EventLog& aEvents) : fEvents(aEvents) {}
  std::vector<TProcessEntry> Snapshot() override { return Processes; }
  TEndRequest RequestEnd(int aPid) override {
    Terminated.push_back(aPid);
    TEndRequest request;
    const auto it = Failures.find(aPid);
    if (it != Failures.end()) {
      request.Error = it->second;
      return request;
    }
    fEvents.push_back("term " + std::to_string(aPid));
    request.Process = std::make_unique<RecordingEndingProcess>(aPid, fEvents, Running);
    return request;
  }
  std::vector<TProcessEntry> Processes;
  std::map<int, int> Failures;
  std::vector<int> Terminated;
  std::set<int> Running;  // the pids that outlive the request

 private:
  EventLog& fEvents;
};

class RecordingShellOpener : public IShellOpener {
 public:
  explicit RecordingShellOpener(EventLog& aEvents) : fEvents(aEvents) {}
  TShellResult Open(const std::string& aFile) override {
    fEvents.push_back("open " + aFile);
    Opened.push_back(aFile);
    if (Results.empty())
      return {true, 0};
    const TShellResult r = Results.front();
    Results.pop_front();
    return r;
  }
  std::vector<std::string> Opened;
  std::deque<TShellResult> Results;

 private:
  EventLog& fEvents;
};

// Knows the service "agent"; records every call.
class RecordingServiceControl : public IServiceControl {
 public:
  int Connect() override {
    Calls.push_back("connect");
    return ConnectError;
  }
  int Exists(const std::string& aName) override {
    Calls.push_back("exists " + aName);
    return Known.count(aName) ? 0 : kServiceNotFound;
  }
  int Start(const std::string& aName) override {
    Calls.push_back("start " + aName);
    return StartError;
  }
  int Stop(const std::string& aName) override {
    Calls.push_back("stop " + aName);
    return Active ? StopError : kServiceNotActive;
  }
  std::vector<std::string> Calls;
  std::set<std::string> Known{"agent"};
  int ConnectError = 0;
  int StartError = 0;
  int StopError = 0;
  bool Active = true;
};

class RecordingPower : public ISystemPower {
 public:
  bool Reboot(std::uint16_t aFlags, std::string& aReason) override {
    Reboots.push_back(aFlags);
    aReason = "not in this test";
    return false;
  }
  void TerminateProcessNow(int aExitCode) override { Terminations.push_back(aExitCode); }
  std::vector<std::uint16_t> Reboots;
  std::vector<int> Terminations;
};

inline TProcessEntry Process(int aPid, const std::string& aExe) {
  TProcessEntry p;
  p.Pid = aPid;
  p.ExePath = aExe;
  p.Args = {aExe};
  return p;
}

// Clients whose program, processes, service manager and power are fakes.
class ClientTest : public test::AccountingTest {
 protected:
  void SetUp() override {
    AccountingTest::SetUp();
    SetProcessControl(&fProcesses);
    SetShellOpener(&fShell);
    SetSystemPower(&fPower);
    SetServiceControl(&fServices);
    fsProgram = fDir.Write("agent.bin", "program");
  }
  void TearDown() override {
    SetServiceControl(nullptr);
    SetProcessControl(nullptr);
    SetShellOpener(nullptr);
    SetSystemPower(nullptr);
    AccountingTest::TearDown();
  }
  std::unique_ptr<TClient> Client(const std::string& aExecutable, const std::string& aLines) {
    auto client = MakeClient(aLines, "App", "Executable=" + aExecutable + "\n");
    fMsgs.Clear();
    return client;
  }
  EventLog fEvents;
  RecordingProcessControl fProcesses{fEvents};
  RecordingShellOpener fShell{fEvents};
  RecordingPower fPower;
  RecordingServiceControl fServices;
  std::string fsProgram;
};

// Real processes, started by the client itself: copies of the compiled
// stand-in program under names unique to this run, and on Linux a script
// under its interpreter. Only processes started here are ever ended.
class ClientProcessTest : public test::AccountingTest {
 protected:
  static std::string UniqueName(const std::string& aStem) {
    std::random_device rd;
    return aStem + "-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(rd() % 1000000);
  }
  // How the system names a program file that the shell can start.
#ifdef _WIN32
  static constexpr char kProgramSuffix[] = ".exe";
#else
  static constexpr char kProgramSuffix[] = "";
#endif
  std::unique_ptr<TClient> Client(const std::string& aExecutable) {
    return MakeClient("1=R;0;0;Restart\n", "App", "Executable=" + aExecutable + "\n");
  }
  // "Restart" in one cycle, "Start" in the next.
  static void Restart(TClient& aClient) {
    aClient.Increment(1, "");
    aClient.Check();
    ASSERT_EQ(aClient.CmdToExe(), "Start");
    aClient.Check();
    ASSERT_EQ(aClient.CmdToExe(), "");
  }
  test::KillOnExit fCleanup;
};

}  // namespace tavo::test
