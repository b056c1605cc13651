// The client tests' POSIX half: the reboot's routes through systemd or the
// raw call, and scripts told apart from their interpreter.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "ClientFixture.h"
#include "FakeSystemctl.h"
#include "TestProcess.h"

namespace tavo {
namespace {

using test::ClientProcessTest;
using test::ClientTest;
using test::TextLines;

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
