// Restarts by the real tavo: a trap makes a client's account hand over
// "Restart", which asks the program's processes to end (SIGTERM); the next
// cycle ends for good what still runs (SIGKILL) and starts the program
// again. The first processes are this test's children, so their exit
// status shows which signal ended them; what tavo starts is ended by the
// clean-up through pidfds of its own.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "ProcessTestSupport.h"
#include "TavoE2E.h"
#include "platform/Paths.h"
#include "platform/ProcessControl.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kBase = "1.3.6.4.1.52814.8425";

class RestartE2ETest : public ::testing::Test {
 protected:
  // Names no other process on the machine has, since tavo ends every
  // process of a program's name.
  std::string Unique(const std::string& aStem) const {
    return aStem + "-" + std::to_string(::getpid());
  }
  // A script that answers SIGTERM with aTrap, writes its pid to "$0.pid"
  // and waits a minute at most.
  std::string Script(const std::string& aName, const std::string& aTrap) {
    const std::string body = "#!/bin/sh\n" + aTrap +
                             "\n"
                             "echo $$ > \"$0.pid.tmp\" && mv \"$0.pid.tmp\" \"$0.pid\"\n"
                             "i=0\n"
                             "while [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done\n";
    const std::string path = fDir.Write(Unique(aName) + ".sh", body);
    EXPECT_EQ(::chmod(path.c_str(), 0755), 0);
    return path;
  }
  // A client whose account 100 restarts aExecutable once a message came.
  std::string ClientSection(const std::string& aName, const std::string& aExecutable,
                            int aOid) const {
    return "[Client " + aName + "]\nName=" + aName + "\nExecutable=" + aExecutable +
           "\nOidMsgId=" + kBase + "." + std::to_string(aOid) + ".1\n100=Restart;0;0;Restart\n";
  }
  void StartTavo(const std::string& aClients) {
    fTavo =
        std::make_unique<TavoRun>(fDir,
                                  "[General]\nCheckInterval=1\n"
                                  "[SnmpTrapReceiver]\nHost=127.0.0.1\nPort=" +
                                      std::to_string(fPort) + "\nCommunity=public\n" + aClients);
    fTavo->Start();
    ASSERT_TRUE(fTavo->WaitForLine("Trace: Initialization done")) << fTavo->Dump();
    ASSERT_TRUE(WaitForUdpPortTaken(fPort));
  }
  void SendTrap(int aOid) {
    const RunResult r =
        RunProgram({TAVOT_EXE, "--v1", "--host", "127.0.0.1", "--port", std::to_string(fPort),
                    "--oid", std::string(kBase) + "." + std::to_string(aOid), "--id", "100"},
                   fDir.File("tavot"));
    ASSERT_EQ(r.Status, 0) << r.Err;
  }
  // Starts aProgram as this test's child and waits for its pid file.
  std::unique_ptr<ChildProcess> StartFirst(const std::string& aProgram,
                                           const std::string& aPidFile) {
    auto child = std::make_unique<ChildProcess>(std::vector<std::string>{aProgram},
                                                fDir.File(ExtractFileName(aProgram)));
    EXPECT_EQ(WaitForPidFile(aPidFile), child->Pid());
    ::unlink(aPidFile.c_str());
    return child;
  }

  KillOnExit fCleanup;
  TempDir fDir;
  std::uint16_t fPort = FreeUdpPort();
  std::unique_ptr<TavoRun> fTavo;
};

TEST_F(RestartE2ETest, SigtermFirstAndSigkillAtTheNextCycleOnlyForWhatStillRuns) {
  // One ends cleanly on SIGTERM; the other notes it and carries on.
  const std::string clean = Script("clean", "trap 'echo $$ > \"$0.term\"; exit 0' TERM");
  const std::string stubborn = Script("stubborn", "trap 'echo $$ > \"$0.term\"' TERM");
  auto cleanFirst = StartFirst(clean, clean + ".pid");
  auto stubbornFirst = StartFirst(stubborn, stubborn + ".pid");

  StartTavo(ClientSection("Clean", clean, 1) + ClientSection("Stubborn", stubborn, 2));
  SendTrap(1);
  SendTrap(2);
  ASSERT_TRUE(fTavo->WaitForLine("Info:  Start client \"Clean\"", 15s)) << fTavo->Dump();
  ASSERT_TRUE(fTavo->WaitForLine("Info:  Start client \"Stubborn\"", 15s)) << fTavo->Dump();

  ASSERT_TRUE(cleanFirst->WaitExit(5s));
  EXPECT_EQ(cleanFirst->ExitStatus(), 0);  // never SIGKILLed
  ASSERT_TRUE(stubbornFirst->WaitExit(5s));
  EXPECT_EQ(stubbornFirst->ExitStatus(), -SIGKILL);
  EXPECT_EQ(ReadWholeFile(clean + ".term"), std::to_string(cleanFirst->Pid()) + "\n");
  EXPECT_EQ(ReadWholeFile(stubborn + ".term"), std::to_string(stubbornFirst->Pid()) + "\n");

  for (const auto& [script, first] :
       {std::pair{clean, cleanFirst->Pid()}, std::pair{stubborn, stubbornFirst->Pid()}}) {
    const int second = WaitForPidFile(script + ".pid");
    ASSERT_GT(second, 0) << script;
    fCleanup.Add(second);
    EXPECT_NE(second, first);
    EXPECT_FALSE(ProcessGone(second));
  }
  EXPECT_EQ(fTavo->Count("Info:  Terminate client \"Clean\" to restart..."), 1);
  EXPECT_EQ(fTavo->Count("Info:  Terminate client \"Stubborn\" to restart..."), 1);
  ASSERT_TRUE(fTavo->Stop());
  EXPECT_EQ(fTavo->Lines().back(), "Info:  Service closed");
}

TEST_F(RestartE2ETest, AProgramReachedThroughALinkIsEndedAndStartedOnce) {
  ASSERT_EQ(::mkdir(fDir.File("bin").c_str(), 0755), 0);
  const std::string program = fDir.File("bin/" + Unique("linked-agent"));
  CopyExecutable(SleeperPath(), program);
  const std::string link = fDir.File(Unique("agent-link"));
  ASSERT_EQ(::symlink(program.c_str(), link.c_str()), 0);
  // The sleeper names its pid file after the file it runs: the link's target.
  auto first = StartFirst(link, program + ".pid");

  StartTavo(ClientSection("Linked", link, 1));
  SendTrap(1);
  ASSERT_TRUE(fTavo->WaitForLine("Info:  Start client \"Linked\"", 15s)) << fTavo->Dump();
  ASSERT_TRUE(first->WaitExit(5s)) << "the linked program was not found";
  EXPECT_EQ(first->ExitStatus(), -SIGTERM);
  const int second = WaitForPidFile(program + ".pid");
  ASSERT_GT(second, 0);
  fCleanup.Add(second);

  char resolved[PATH_MAX];
  ASSERT_NE(::realpath(program.c_str(), resolved), nullptr);
  const auto processes = TLinuxProcessControl().Snapshot();
  EXPECT_EQ(std::count_if(processes.begin(), processes.end(),
                          [&](const TProcessEntry& p) { return p.ExePath == resolved; }),
            1);
  ASSERT_TRUE(fTavo->Stop());
}

}  // namespace
}  // namespace tavo::test
