#include "accounting/Client.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "AccountingFixture.h"
#include "FakeSystemctl.h"
#include "ProcessTestSupport.h"
#include "TestProcess.h"
#include "platform/ProcessControl.h"
#include "platform/ShellOpen.h"
#include "platform/SysServiceManager.h"
#include "platform/SystemPower.h"

namespace tavo {
namespace {

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

TProcessEntry Process(int aPid, const std::string& aExe) {
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

TEST_F(ClientTest, InitNeedsNameOidAndOneValidAccount) {
  struct Case {
    std::string Section;
    TextLines Messages;
  };
  const Case cases[] = {
      {"OidMsgId=1.2.3\n1=a;0;0;Send\n", {"Error: Missing name in \"Client A\""}},
      {"Name=App\n1=a;0;0;Send\n", {"Error: Missing OID message ID (OidMsgId ) in \"Client A\""}},
      {"Name=App\nOidMsgId=1.2.3\n1=a;0;0;send\nabc=x\n",
       {"Error: Invalid message config: Action \"send\" not supported!"}},
      {"Name=App\nOidMsgId=1.2.3\n", {}},
  };
  for (const Case& c : cases) {
    test::WriteWholeFile(fsIni, "[Client A]\n" + c.Section);
    fMsgs.Clear();
    TClient client;
    EXPECT_FALSE(client.Init("Client A", TOrvoIniFile(fsIni))) << c.Section;
    EXPECT_EQ(fMsgs.Lines(), c.Messages) << c.Section;
  }
}

TEST_F(ClientTest, AccountKeysAreIntegersAndLinesStayRaw) {
  fDir.Write("t.txt", "%LABEL\n");
  test::WriteWholeFile(fsIni,
                       "[Client A]\n"
                       "Name=App\nExecutable=/opt/app\nOidMsgId=1.2.3\nOidMsgText=1.2.4\n"
                       " 42 =Spaced;0;0;Send\n"
                       "$2B=Hex;0;0;Send\n"
                       "0x10=Hex2;0;0;Send\n"
                       "-5=Negative;0;0;Send\n"
                       "4x=NotAnId;0;0;Send\n"
                       "Name2=NotAnId;0;0;Send\n"
                       "7=\"Quoted;label\";0;0;Send;Mail1;\"t.txt\"\n"
                       "[Client B]\n"
                       "9=Other;0;0;Send\n");
  TClient client;
  ASSERT_TRUE(client.Init("Client A", TOrvoIniFile(fsIni)));
  EXPECT_EQ(client.Name(), "App");
  EXPECT_EQ(client.Executable(), "/opt/app");
  EXPECT_EQ(client.OidMsgId(), "1.2.3");
  EXPECT_EQ(client.OidMsgText(), "1.2.4");
  std::vector<std::int32_t> ids;
  for (const auto& a : client.MsgAccounts())
    ids.push_back(a->Id());
  EXPECT_EQ(ids, (std::vector<std::int32_t>{42, 43, 16, -5, 7}));
  EXPECT_EQ(client.MsgAccounts().back()->Label(), "Quoted;label");
  EXPECT_EQ(client.MsgAccounts().back()->BuildReport(), "Quoted;label\r\n");
}

TEST_F(ClientTest, IncrementReachesEveryAccountOfTheIdAndReadCounterJoinsLines) {
  auto client = Client("", "1=A;0;0;Send\n2=B;3;5;Send\n1=C;0;MTWTFSS@08:00;Send\n");
  client->Increment(1, "x");
  client->Increment(99, "ignored");
  EXPECT_EQ(client->ReadCounter(),
            "> Message id 1 \"A\" counter = 1 > 0 (True)\r\n"
            "> Message id 2 \"B\" counter = 0 < 3 (True)\r\n"
            "> Message id 1 \"C\" counter = 1");
  EXPECT_EQ(client->MsgAccounts()[2]->Text(), "x");
  EXPECT_TRUE(fMsgs.Lines().empty());
  EXPECT_EQ(TClient().ReadCounter(), "");
}

TEST_F(ClientTest, OnlyTheFirstCommandOfACycleBecomesPending) {
  auto client = Client(fsProgram, "1=R;0;0;Restart\n2=B;0;0;SystemReboot\n");
  client->Increment(1, "");
  client->Increment(2, "boom");
  client->Check();
  EXPECT_EQ(fMsgs.Lines(),
            (TextLines{
                "Info:  Execute \"Restart\" because of message id 1 from \"App\" (Counter = 1 > 0)",
                "Info:  Execute \"SystemReboot\" because of message id 2 from \"App\" (Counter "
                "= 1 > 0)",
                "Info:  Terminate client \"App\" to restart..."}));
  EXPECT_EQ(client->MsgAccounts()[1]->EventCounter(), 0u);
  EXPECT_EQ(client->MsgAccounts()[1]->Text(), "");
  EXPECT_TRUE(fPower.Reboots.empty());
  EXPECT_EQ(client->CmdToExe(), "Start");  // nothing was running; start it next cycle
}

TEST_F(ClientTest, RestartTerminatesThenStartIsRetriedUntilItWorks) {
  auto client = Client(fsProgram, "1=R;0;0;Restart\n");
  fProcesses.Processes = {Process(501, "/elsewhere/AGENT.BIN"), Process(502, "/usr/bin/other"),
                          Process(CurrentProcessId(), fsProgram), Process(503, fsProgram)};
  fShell.Results = {{false, 13}, {false, 13}};
  client->Increment(1, "");
  client->Check();
  EXPECT_EQ(fProcesses.Terminated, (std::vector<int>{501, 503}));
  EXPECT_EQ(client->CmdToExe(), "Start");
  fMsgs.Clear();

  client->Check();
  client->Check();
  EXPECT_EQ(client->CmdToExe(), "Start");
  client->Check();
  EXPECT_EQ(client->CmdToExe(), "");
  client->Check();
  const std::string failed = "Error: Client start failed: \"" + fsProgram + "\" (13)";
  EXPECT_EQ(fMsgs.Lines(),
            (TextLines{"Info:  Start client \"App\"", failed, "Info:  Start client \"App\"", failed,
                       "Info:  Start client \"App\""}));
  EXPECT_EQ(fShell.Opened, TextLines(3, fsProgram));
}

// The deciding cycle asks every matching process to end; the next one ends
// for good only what outlived the request and lets every handle go before
// it starts the program. A retried start signals nothing, and a client that
// goes with handles left kills nothing.
TEST_F(ClientTest, RestartAsksFirstAndKillsWhatStillRunsAtTheNextCycle) {
  auto client = Client(fsProgram, "1=R;0;0;Restart\n");
  fProcesses.Processes = {Process(501, fsProgram), Process(502, "/opt/AGENT.BIN"),
                          Process(503, fsProgram)};
  fProcesses.Running = {502};  // ignores the request
  fShell.Results = {{false, 13}};
  client->Increment(1, "");
  client->Check();
  EXPECT_EQ(fEvents, (EventLog{"term 501", "term 502", "term 503"}));
  fEvents.clear();

  client->Check();  // the start fails
  EXPECT_EQ(fEvents,
            (EventLog{"kill 502", "close 501", "close 502", "close 503", "open " + fsProgram}));
  fEvents.clear();
  client->Check();
  EXPECT_EQ(fEvents, (EventLog{"open " + fsProgram}));
  EXPECT_EQ(client->CmdToExe(), "");
  fEvents.clear();

  client->Increment(1, "");
  client->Check();
  client.reset();
  EXPECT_EQ(fEvents,
            (EventLog{"term 501", "term 502", "term 503", "close 501", "close 502", "close 503"}));
}

TEST_F(ClientTest, TerminateSucceedsWhenSomethingWasFoundAndNothingFailed) {
  auto client = Client(fsProgram, "1=R;0;0;Restart\n");
  EXPECT_FALSE(client->TerminateClient());  // nothing runs
  fProcesses.Processes = {Process(601, fsProgram), Process(602, fsProgram)};
  EXPECT_TRUE(client->TerminateClient());
  fProcesses.Failures[601] = EPERM;
  EXPECT_FALSE(client->TerminateClient());
  fProcesses.Failures = {{602, EPERM}};
  EXPECT_FALSE(client->TerminateClient());
  EXPECT_TRUE(fMsgs.Lines().empty());  // this path logs nothing
}

TEST_F(ClientTest, SystemRebootAsksForAForcedRebootOnceAndARefusalLeavesUsRunning) {
  auto client = Client(fsProgram, "9=Boot;0;0;SystemReboot\n");
  client->Increment(9, "");
  client->Check();
  client->Check();  // one try per condition
  EXPECT_EQ(fPower.Reboots, (std::vector<std::uint16_t>{0x12}));
  EXPECT_TRUE(fPower.Terminations.empty());
  EXPECT_EQ(client->CmdToExe(), "");
  EXPECT_EQ(fMsgs.Lines(),
            (TextLines{"Info:  Execute \"SystemReboot\" because of message id 9 from \"App\" "
                       "(Counter = 1 > 0)",
                       "Info:  System Reboot", "Error: System reboot refused: not in this test"}));
}

// The machine's power with its two routes, under a fake systemctl; the raw
// call and the immediate end are fakes, and the fallback never comes here.
class RoutedPower final : public TLinuxSystemPower {
 public:
  RoutedPower(const std::string& aSystemdMarker, int aRawError, int& aRawCalls)
      : TLinuxSystemPower({.SystemdMarker = aSystemdMarker,
                           .FallbackDelay = std::chrono::minutes(10),
                           .RawReboot = [aRawError, &aRawCalls] {
                             ++aRawCalls;
                             return aRawError;
                           }}) {}
  void TerminateProcessNow(int aExitCode) override { Terminations.push_back(aExitCode); }
  std::vector<int> Terminations;
};

TEST_F(ClientTest, SystemRebootGoesThroughSystemdWhereItRunsElseTheRawCall) {
  test::FakeSystemctl systemctl(fDir);
  systemctl.Install();
  const std::string systemd = fDir.File("run-systemd-system");
  ASSERT_EQ(::mkdir(systemd.c_str(), 0755), 0);
  struct Case {
    const char* What;
    bool Systemd;
    int SystemctlStatus;  // 0: the fake accepts
    int RawError;         // 0: the raw call was taken
    std::string Calls;    // systemctl's
    int RawCalls;
    std::string Error;  // the line after "System Reboot"
  };
  const Case cases[] = {
      {"systemd accepts", true, 0, 0, "reboot\n", 0, ""},
      {"systemd refuses", true, 1, 0, "reboot\n", 0,
       "Error: System reboot refused: " + systemctl.Program() + " reboot ended with exit status 1"},
      {"no systemd, the raw call refused", false, 0, EPERM, "", 1,
       "Error: System reboot refused: reboot: Operation not permitted (1)"},
      {"no systemd, the raw call taken", false, 0, 0, "", 1, ""},
  };
  for (const Case& c : cases) {
    systemctl.ClearCalls();
    ::unlink(fDir.File("fail-reboot").c_str());
    if (c.SystemctlStatus != 0)
      systemctl.Fail("reboot", c.SystemctlStatus);
    int rawCalls = 0;
    RoutedPower power(c.Systemd ? systemd : fDir.File("no-systemd"), c.RawError, rawCalls);
    SetSystemPower(&power);
    auto client = Client(fsProgram, "9=Boot;0;0;SystemReboot\n");
    client->Increment(9, "");
    client->Check();
    TextLines expected{
        "Info:  Execute \"SystemReboot\" because of message id 9 from \"App\" (Counter = 1 > 0)",
        "Info:  System Reboot"};
    if (!c.Error.empty())
      expected.push_back(c.Error);
    EXPECT_EQ(fMsgs.Lines(), expected) << c.What;
    EXPECT_EQ(client->CmdToExe(), "") << c.What;
    client->Check();  // nothing pending: nothing asked again
    EXPECT_EQ(systemctl.Calls(), c.Calls) << c.What;
    EXPECT_EQ(rawCalls, c.RawCalls) << c.What;
    // Accepted by systemd: its SIGTERM is awaited, the raw call held back.
    EXPECT_EQ(power.RebootPending(), c.Systemd && c.SystemctlStatus == 0) << c.What;
    EXPECT_TRUE(power.Terminations.empty()) << c.What;
    SetSystemPower(&fPower);
  }
}

// A command the client does not know stays pending and is reported at every
// cycle; commands are compared with case, and the accounts' own commands
// cannot push it out.
TEST_F(ClientTest, AnUnknownCommandIsReportedAndStaysPending) {
  struct PendingClient : TClient {
    using TClient::SetCmdToExe;
  };
  test::WriteWholeFile(fsIni, "[Client A]\nName=App\nExecutable=" + fsProgram +
                                  "\nOidMsgId=1.2.3\n1=R;0;0;Restart\n");
  for (const std::string command : {"SendOnce", "restart"}) {
    PendingClient client;
    ASSERT_TRUE(client.Init("Client A", TOrvoIniFile(fsIni)));
    client.SetCmdToExe(command);
    fMsgs.Clear();
    const std::string unknown = "Error: Unknown command \"" + command + "\" ignored!";

    EXPECT_FALSE(client.ExecuteCommand(command));
    client.Check();
    EXPECT_EQ(client.CmdToExe(), command);
    client.Increment(1, "");
    client.Check();
    EXPECT_EQ(client.CmdToExe(), command);
    EXPECT_EQ(fMsgs.Lines(),
              (TextLines{unknown, unknown,
                         "Info:  Execute \"Restart\" because of message id 1 from \"App\" "
                         "(Counter = 1 > 0)",
                         unknown}))
        << command;
  }
  EXPECT_TRUE(fProcesses.Terminated.empty());
  EXPECT_TRUE(fShell.Opened.empty());
}

TEST_F(ClientTest, EmptyExecutableCountsAsDone) {
  auto client = Client("", "1=R;0;0;Restart\n");
  client->Increment(1, "");
  client->Check();
  client->Check();
  EXPECT_EQ(client->CmdToExe(), "");
  EXPECT_EQ(fMsgs.Lines(),
            (TextLines{
                "Info:  Execute \"Restart\" because of message id 1 from \"App\" (Counter = 1 > 0)",
                "Info:  Terminate client \"App\" to restart...",
                "Warning: No executeable in client defined!", "Info:  Start client \"App\"",
                "Warning: No executeable in client defined!"}));
  EXPECT_TRUE(fShell.Opened.empty());
}

TEST_F(ClientTest, ServicesAreStoppedAndStartedThroughTheServiceManager) {
  auto client = Client("agent", "1=R;0;0;Restart\n");
  client->Increment(1, "");
  client->Check();
  client->Check();
  EXPECT_EQ(client->CmdToExe(), "");
  // One wrapper for the stop, one for the start.
  EXPECT_EQ(fServices.Calls, TextLines({"connect", "exists agent", "stop agent", "connect",
                                        "exists agent", "start agent"}));
  EXPECT_EQ(fMsgs.Lines().back(), "Info:  Start client \"App\"");
}

TEST_F(ClientTest, ServiceFailuresAreReportedAndStartStaysPending) {
  struct Case {
    std::string Executable;
    std::string Setup;  // "fail-<verb>" (fails with 1), "no-tool", or the service's state
    std::string Terminate, Start;
  };
  const Case cases[] = {
      {"ghost", "", "Error: Access to client \"ghost\" failed! (5)",
       "Error: Access to client \"ghost\" failed! (5)"},
      {"agent", "fail-stop", "Error: Client \"agent\" termination failed! (1)", ""},
      {"agent", "fail-start", "", "Error: Client \"agent\" start failed! (1)"},
      {"agent", "inactive", "Error: Client \"agent\" termination failed! (1062)", ""},
      {"agent*", "", "Error: Access to client \"agent*\" failed! (5)",
       "Error: Access to client \"agent*\" failed! (5)"},
      {"agent", "no-tool", "Error: Connect to service manager failed! (2)",
       "Error: Connect to service manager failed! (2)"},
  };
  for (const Case& c : cases) {
    fServices.Active = c.Setup != "inactive";
    fServices.ConnectError = c.Setup == "no-tool" ? ENOENT : 0;
    fServices.StopError = c.Setup == "fail-stop" ? 1 : 0;
    fServices.StartError = c.Setup == "fail-start" ? 1 : 0;
    auto client = Client(c.Executable, "1=R;0;0;Restart\n");
    EXPECT_EQ(client->TerminateClient(), c.Terminate.empty()) << c.Executable << c.Setup;
    EXPECT_EQ(client->StartClient(), c.Start.empty()) << c.Executable << c.Setup;
    TextLines expected;
    if (!c.Terminate.empty())
      expected.push_back(c.Terminate);
    if (!c.Start.empty())
      expected.push_back(c.Start);
    EXPECT_EQ(fMsgs.Lines(), expected) << c.Executable << c.Setup;

    // Through the pipeline: "Start" is pending after "Restart" whatever happened.
    client->Increment(1, "");
    client->Check();
    EXPECT_EQ(client->CmdToExe(), "Start");
    client->Check();
    EXPECT_EQ(client->CmdToExe(), c.Start.empty() ? "" : "Start");
  }
}

// Real processes, started by the client itself: the compiled stand-in
// program under a name unique to this run, and a script under its
// interpreter. Only processes started here are ever ended.
class ClientProcessTest : public test::AccountingTest {
 protected:
  static std::string UniqueName(const std::string& aStem) {
    std::random_device rd;
    return aStem + "-" + std::to_string(::getpid()) + "-" + std::to_string(rd() % 1000000);
  }
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

TEST_F(ClientProcessTest, RestartEndsTheRunningProgramAndStartsItAgain) {
  const std::string program = fDir.File(UniqueName("tavo-sleeper"));
  test::CopyExecutable(test::SleeperPath(), program);
  const std::string marker = program + ".pid";
  auto client = Client(program);

  Restart(*client);  // nothing ran yet: the restart just starts it
  const int first = test::WaitForPidFile(marker);
  ASSERT_GT(first, 0);
  fCleanup.Add(first);
  std::filesystem::remove(marker);

  Restart(*client);
  EXPECT_TRUE(test::WaitFor([&] { return test::ProcessGone(first); }, test::kProcessWait));
  const int second = test::WaitForPidFile(marker);
  ASSERT_GT(second, 0);
  fCleanup.Add(second);
  EXPECT_NE(second, first);
  EXPECT_FALSE(test::ProcessGone(second));
}

TEST_F(ClientProcessTest, AScriptIsEndedByItsScriptArgumentNotByItsInterpreter) {
  const std::string body =
      "#!/bin/sh\n"
      "echo $$ > \"$0.pid.tmp\" && mv \"$0.pid.tmp\" \"$0.pid\"\n"
      "i=0\n"
      "while [ $i -lt 300 ]; do sleep 0.2; i=$((i+1)); done\n";
  const std::string script = fDir.Write(UniqueName("watch") + ".sh", body);
  const std::string other = fDir.Write(UniqueName("other") + ".sh", body);
  ::chmod(script.c_str(), 0755);
  ::chmod(other.c_str(), 0755);
  // Unrelated processes of the same interpreter.
  test::ChildProcess otherScript({other}, fDir.File("other"));
  test::ChildProcess inlineShell(
      {"/bin/sh", "-c", "i=0; while [ $i -lt 300 ]; do sleep 0.2; i=$((i+1)); done"},
      fDir.File("inline"));
  ASSERT_GT(test::WaitForPidFile(other + ".pid"), 0);

  auto client = Client(script);
  Restart(*client);
  const int pid = test::WaitForPidFile(script + ".pid");
  ASSERT_GT(pid, 0);
  fCleanup.Add(pid);

  client->Increment(1, "");
  client->Check();  // Restart: ends the script's shell
  EXPECT_TRUE(test::WaitFor([&] { return test::ProcessGone(pid); }, test::kProcessWait));
  EXPECT_TRUE(otherScript.Running());
  EXPECT_TRUE(inlineShell.Running());
}

}  // namespace
}  // namespace tavo
