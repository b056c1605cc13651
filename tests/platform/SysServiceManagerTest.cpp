#include "platform/SysServiceManager.h"

#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

#include "FakeSystemctl.h"
#include "TestSupport.h"

namespace tavo {
namespace {

using test::TempDir;

// Every call goes to the recording stand-in for systemctl, which knows the
// service "agent" and no other unit.
class ServiceManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fFake.Install();
    fFake.AddUnit("agent.service");
  }
  void TearDown() override { SetServiceControl(nullptr); }

  // Connected, and the service aName opened.
  bool Open(TServiceManager& aManager, const std::string& aName = "agent") {
    return aManager.Connect("", "", 0xF003F) && aManager.OpenConnection(aName);
  }

  TempDir fDir;
  test::FakeSystemctl fFake{fDir};
};

TEST_F(ServiceManagerTest, StartAndStopQueueJobsForAKnownService) {
  TServiceManager m;
  ASSERT_TRUE(Open(m));
  EXPECT_TRUE(m.Start());
  EXPECT_TRUE(m.Stop());
  EXPECT_EQ(fFake.Calls(),
            "show --property=LoadState --value -- agent.service\n"
            "start --no-block -- agent.service\n"
            "show --property=ActiveState --value -- agent.service\n"
            "stop --no-block -- agent.service\n");
}

TEST_F(ServiceManagerTest, FailuresGiveTheToolsStatusOrAnErrno) {
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
  fFake.Fail("start", 4);
  fFake.Fail("stop", 1);
  EXPECT_FALSE(m.Start());
  EXPECT_EQ(m.LastError(), 4);
  EXPECT_FALSE(m.Stop());
  EXPECT_EQ(m.LastError(), 1);

  fFake.Fail("show", 3);
  EXPECT_FALSE(m.OpenConnection("agent"));
  EXPECT_EQ(m.LastError(), 3);
}

// systemctl would expand a pattern over the loaded units and act on any unit
// type: only one service is ever named, and nothing runs for anything else.
TEST_F(ServiceManagerTest, NamesThatAreNotOneServiceAreRefusedBeforeAnythingRuns) {
  fFake.AddUnit("agent.socket");
  TServiceManager m;
  ASSERT_TRUE(m.Connect("", "", 0));
  for (const char* name : {"agent*", "agen?", "[a]gent", "agent]", "*.service", "agent.socket",
                           "agent.timer", "agent.target", "/dev/sda", "/opt/agent"}) {
    EXPECT_FALSE(m.OpenConnection(name)) << name;
    EXPECT_EQ(m.LastError(), TServiceManager::kServiceNotFound) << name;
    EXPECT_FALSE(m.Start()) << name;  // nothing stays open
  }
  EXPECT_EQ(fFake.Calls(), "");

  // A bare name and the full unit name are the same service.
  EXPECT_TRUE(m.OpenConnection("agent.service"));
  EXPECT_TRUE(m.OpenConnection("agent"));
  EXPECT_EQ(fFake.Calls(),
            "show --property=LoadState --value -- agent.service\n"
            "show --property=LoadState --value -- agent.service\n");
}

TEST_F(ServiceManagerTest, StopRefusesAServiceThatIsNotActive) {
  struct Case {
    const char* State;
    bool Stopped;
  };
  for (const Case& c : {Case{"active", true}, Case{"activating", true}, Case{"reloading", true},
                        Case{"inactive", false}, Case{"failed", false}}) {
    fFake.AddUnit("agent.service", c.State);
    fFake.ClearCalls();
    TServiceManager m;
    ASSERT_TRUE(Open(m));
    EXPECT_EQ(m.Stop(), c.Stopped) << c.State;
    if (!c.Stopped) {
      EXPECT_EQ(m.LastError(), TServiceManager::kServiceNotActive) << c.State;
    }
    EXPECT_EQ(fFake.Calls().find("stop --no-block -- agent.service\n") != std::string::npos,
              c.Stopped)
        << c.State;
  }
}

TEST_F(ServiceManagerTest, ConnectNeedsTheToolAndTheLocalMachine) {
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

TEST_F(ServiceManagerTest, AHangingToolIsCutOff) {
  TSystemdServiceControl quick(200);
  SetServiceControl(&quick);
  TServiceManager m;
  ASSERT_TRUE(Open(m));
  fFake.Hang();
  EXPECT_FALSE(m.Stop());
  EXPECT_EQ(m.LastError(), ETIMEDOUT);
}

}  // namespace
}  // namespace tavo
