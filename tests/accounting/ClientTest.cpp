#include "accounting/Client.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "ClientFixture.h"
#include "WaitFor.h"

namespace tavo {
namespace {

using test::ClientProcessTest;
using test::ClientTest;
using test::EventLog;
using test::Process;
using test::TextLines;

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

// The platform's code for a service that is not installed.
#ifdef _WIN32
const std::string kNotFound = "1060";  // ERROR_SERVICE_DOES_NOT_EXIST
#else
const std::string kNotFound = "5";  // systemctl's status for a unit it does not know
#endif

TEST_F(ClientTest, ServiceFailuresAreReportedAndStartStaysPending) {
  struct Case {
    std::string Executable;
    std::string Setup;  // "fail-<verb>" (fails with 1), "no-tool", or the service's state
    std::string Terminate, Start;
  };
  const Case cases[] = {
      {"ghost", "", "Error: Access to client \"ghost\" failed! (" + kNotFound + ")",
       "Error: Access to client \"ghost\" failed! (" + kNotFound + ")"},
      {"agent", "fail-stop", "Error: Client \"agent\" termination failed! (1)", ""},
      {"agent", "fail-start", "", "Error: Client \"agent\" start failed! (1)"},
      {"agent", "inactive", "Error: Client \"agent\" termination failed! (1062)", ""},
      {"agent*", "", "Error: Access to client \"agent*\" failed! (" + kNotFound + ")",
       "Error: Access to client \"agent*\" failed! (" + kNotFound + ")"},
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

TEST_F(ClientProcessTest, RestartEndsTheRunningProgramAndStartsItAgain) {
  const std::string program = fDir.File(UniqueName("tavo-sleeper") + kProgramSuffix);
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

}  // namespace
}  // namespace tavo
