#include "platform/SysServiceManager.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace tavo {
namespace {

using test::TempDir;

// A stand-in for systemctl: logs its arguments, knows the units listed in
// "units", and fails a verb named in "fail-<verb>" with the status written there.
class FakeSystemctl : public ::testing::Test {
 protected:
  void SetUp() override {
    fsTool = fDir.Write(
        "systemctl",
        "#!/bin/sh\n"
        "d=$(dirname \"$0\")\n"
        "echo \"$*\" >> \"$d/calls\"\n"
        "[ -f \"$d/fail-$1\" ] && exit $(cat \"$d/fail-$1\")\n"
        "[ -f \"$d/hang\" ] && sleep 30\n"
        "if [ \"$1\" = show ]; then\n"
        "  for n in \"$@\"; do last=$n; done\n"
        "  if grep -qx -e \"$last\" \"$d/units\"; then echo loaded; else echo not-found; fi\n"
        "fi\n"
        "exit 0\n");
    ::chmod(fsTool.c_str(), 0755);
    fDir.Write("units", "agent\n");
    ::setenv("TAVO_SYSTEMCTL", fsTool.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("TAVO_SYSTEMCTL");
    TServiceManager::CommandTimeoutMs = 30000;
  }
  std::string Calls() const { return FileExists("calls") ? fDir.Read("calls") : ""; }
  bool FileExists(const std::string& aName) const {
    struct stat st {};
    return ::stat(fDir.File(aName).c_str(), &st) == 0;
  }

  TempDir fDir;
  std::string fsTool;
};

TEST_F(FakeSystemctl, StartAndStopQueueJobsForAKnownService) {
  TServiceManager m;
  ASSERT_TRUE(m.Connect("", "", 0xF003F));
  ASSERT_TRUE(m.OpenConnection("agent"));
  EXPECT_TRUE(m.Start());
  EXPECT_TRUE(m.Stop());
  EXPECT_EQ(Calls(),
            "show --property=LoadState --value -- agent\n"
            "start --no-block -- agent\n"
            "stop --no-block -- agent\n");
}

TEST_F(FakeSystemctl, FailuresGiveTheToolsStatusOrAnErrno) {
  TServiceManager m;
  EXPECT_FALSE(m.OpenConnection("agent"));
  EXPECT_EQ(m.LastError(), EBADF);  // not connected
  ASSERT_TRUE(m.Connect("", "", 0));
  EXPECT_FALSE(m.Start());
  EXPECT_EQ(m.LastError(), EBADF);  // nothing open

  EXPECT_FALSE(m.OpenConnection("nosuch"));
  EXPECT_EQ(m.LastError(), TServiceManager::kServiceNotFound);
  EXPECT_FALSE(m.OpenConnection("-h"));  // never taken for an option
  EXPECT_EQ(m.LastError(), TServiceManager::kServiceNotFound);
  EXPECT_FALSE(m.OpenConnection(""));
  EXPECT_EQ(m.LastError(), EINVAL);

  ASSERT_TRUE(m.OpenConnection("agent"));
  EXPECT_FALSE(m.Start({"--now"}));
  EXPECT_EQ(m.LastError(), EINVAL);
  fDir.Write("fail-start", "4");
  fDir.Write("fail-stop", "1");
  EXPECT_FALSE(m.Start());
  EXPECT_EQ(m.LastError(), 4);
  EXPECT_FALSE(m.Stop());
  EXPECT_EQ(m.LastError(), 1);

  fDir.Write("fail-show", "3");
  EXPECT_FALSE(m.OpenConnection("agent"));
  EXPECT_EQ(m.LastError(), 3);
}

TEST_F(FakeSystemctl, ConnectNeedsTheToolAndTheLocalMachine) {
  TServiceManager m;
  EXPECT_FALSE(m.Connect("otherhost", "", 0));
  EXPECT_EQ(m.LastError(), EINVAL);
  ::setenv("TAVO_SYSTEMCTL", fDir.File("missing").c_str(), 1);
  EXPECT_FALSE(m.Connect("", "", 0));
  EXPECT_EQ(m.LastError(), ENOENT);
  ::setenv("TAVO_SYSTEMCTL", "tavo-no-such-tool", 1);
  EXPECT_FALSE(m.Connect("", "", 0));
  EXPECT_EQ(m.LastError(), ENOENT);
}

TEST_F(FakeSystemctl, AHangingToolIsCutOff) {
  TServiceManager::CommandTimeoutMs = 200;
  TServiceManager m;
  ASSERT_TRUE(m.Connect("", "", 0));
  ASSERT_TRUE(m.OpenConnection("agent"));
  fDir.Write("hang", "");
  EXPECT_FALSE(m.Stop());
  EXPECT_EQ(m.LastError(), ETIMEDOUT);
}

}  // namespace
}  // namespace tavo
