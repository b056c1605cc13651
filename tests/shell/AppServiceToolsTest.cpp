// The run modes and the service host: switches, the single-instance name,
// the run-mode decision, install and uninstall runs and the service's
// status reports, in process, with systemctl, the unit directory and the
// notify socket replaced by stand-ins in a temporary folder.

#include "shell/AppServiceTools.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>

#include "FakeSystemctl.h"
#include "NotifySocket.h"
#include "TestMainLoop.h"
#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/ProcessUser.h"
#include "platform/SingleInstance.h"
#include "platform/SystemdUnit.h"
#include "shell/CommandLine.h"
#include "shell/Guard.h"
#include "shell/RunMode.h"

namespace tavo {
namespace {

using namespace std::chrono_literals;
using test::BoxRecorder;
using test::FakeSystemctl;
using test::NotifySocket;
using test::TempDir;

class AppServiceToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fFake.Install();
    ::unsetenv("NOTIFY_SOCKET");
  }
  void TearDown() override {
    SetCommandLineSwitches({});
    ReleaseAppService();
    ReleaseSingleInstance();
    SetRunMode(TRunMode::eDesktop);
    SetEscapedErrorHandler(nullptr);
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("TAVO_INSTANCE");
  }

  TempDir fDir;
  FakeSystemctl fFake{fDir};
};

TEST_F(AppServiceToolsTest, SwitchCharactersAndWords) {
  const struct {
    const char* Arg;
    bool IsSwitch;
  } cases[] = {
      {"-install", true},     {"/INSTALL", true},    {"\\Install", true},   {"-uninstall", true},
      {"/UnInstall", true},   {"\\uninstall", true}, {"-AnyAccount", true}, {"/anyaccount", true},
      {"\\ANYACCOUNT", true}, {"-SILENT", true},     {"/silent", true},     {"\\SILENT", false},
      {"install", false},     {"--install", false},  {"-installs", false},  {"+install", false},
      {"-", false},           {"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsRunModeSwitch(c.Arg), c.IsSwitch) << c.Arg;

  SetCommandLineSwitches({"\\Install", "/silent"});
  EXPECT_TRUE(FindCmdLineSwitch("install"));
  EXPECT_TRUE(FindCmdLineSwitch("INSTALL", kHostSwitchChars) == false);
  EXPECT_TRUE(FindCmdLineSwitch("SILENT", kHostSwitchChars));
  EXPECT_FALSE(FindCmdLineSwitch("uninstall"));
  EXPECT_TRUE(IsServiceInstallationSwitch());
}

TEST_F(AppServiceToolsTest, TheCommandLineCollectsSwitchesButNotOptionValues) {
  const TCommandLine cl = ParseCommandLine({"--config", "/install", "-install", "/SILENT"});
  EXPECT_EQ(cl.ConfigFile, "/install");
  EXPECT_EQ(cl.Switches, (std::vector<std::string>{"-install", "/SILENT"}));
  EXPECT_EQ(ParseCommandLine({"--check", "-silent"}).Switches.size(), 1u);
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"install"},
                                              {"\\SILENT"},
                                              {"--foreground", "-install"},
                                              {"--check", "/AnyAccount"},
                                              {"--check", "\\uninstall"}}) {
    EXPECT_THROW(ParseCommandLine(bad), Exception) << bad.back();
  }
}

TEST_F(AppServiceToolsTest, TheInstanceNameComesFromTheEnvironment) {
  ::unsetenv("TAVO_INSTANCE");
  EXPECT_EQ(InstanceName(), "Tavo");
  ::setenv("TAVO_INSTANCE", "", 1);
  EXPECT_EQ(InstanceName(), "Tavo");
  ::setenv("TAVO_INSTANCE", "Other", 1);
  EXPECT_EQ(InstanceName(), "Other");
}

TEST_F(AppServiceToolsTest, ASecondInstanceIsRefusedWithItsErrorTexts) {
  BoxRecorder boxes;
  const std::string name = "AppServiceToolsTest-" + std::to_string(::getpid());
  TSingleInstanceLock other;
  ASSERT_EQ(other.Acquire(name), 0);

  EXPECT_FALSE(CheckSingleInstance(name));
  const std::string tooLong(TSingleInstanceLock::kMaxNameLength + 1, 'n');
  EXPECT_FALSE(CheckSingleInstance(tooLong));
  ASSERT_EQ(boxes.Boxes.size(), 2u);
  EXPECT_EQ(boxes.Boxes[0].Icon, TMsgBoxIcon::eError);
  EXPECT_EQ(boxes.Boxes[0].Text, "App \"" + name + "\" already running!");
  EXPECT_EQ(boxes.Boxes[1].Text, "App \"" + tooLong + "\" already running! (36)");

  other.Release();
  EXPECT_TRUE(CheckSingleInstance(name));
  EXPECT_EQ(other.Acquire(name), EADDRINUSE) << "held for the life of the process";
  EXPECT_EQ(boxes.Boxes.size(), 2u);
}

TEST_F(AppServiceToolsTest, TheRunModeFollowsSwitchesServiceManagerAndUnitAccount) {
  const std::string me = ProcessUserName();
  ASSERT_FALSE(me.empty());
  std::string upper = me;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  NotifySocket notify(fDir.File("notify"));
  const struct {
    std::vector<std::string> Switches;
    bool Notify;
    std::optional<std::string> Unit;
    bool Service;
    TRunMode Mode;
  } cases[] = {
      {{"-install"}, false, std::nullopt, true, TRunMode::eServiceInstallation},
      {{"/UNINSTALL"}, true, "[Service]\n", true, TRunMode::eServiceInstallation},
      {{"\\AnyAccount"}, false, std::nullopt, true, TRunMode::eService},
      {{}, false, std::nullopt, false, TRunMode::eDesktop},
      // The operator's own start on a machine with the service installed.
      {{}, false, "[Service]\nUser=" + me + "\n", false, TRunMode::eDesktop},
      {{}, true, "[Service]\nUser=" + me + "\n", true, TRunMode::eService},
      {{}, true, "[Service]\nUser=" + upper + "\n", true, TRunMode::eService},
      {{},
       true,
       "[Service]\nUser=" + std::to_string(ProcessUserId()) + "\n",
       true,
       TRunMode::eService},
      {{}, true, "[Service]\nUser=someone-else\n", false, TRunMode::eDesktop},
      {{}, true, "[Service]\nUser=.\\" + me + "\n", false, TRunMode::eDesktop},
      {{}, true, std::nullopt, false, TRunMode::eDesktop},
      {{},
       true,
       "[Service]\nType=notify\n",
       me == "root",
       me == "root" ? TRunMode::eService : TRunMode::eDesktop},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.Switches.empty() ? "" : c.Switches[0]) << " notify "
                                    << c.Notify << " unit " << c.Unit.value_or("none"));
    SetCommandLineSwitches(c.Switches);
    if (c.Notify) {
      ::setenv("NOTIFY_SOCKET", notify.Path().c_str(), 1);
    } else {
      ::unsetenv("NOTIFY_SOCKET");
    }
    DeleteFile(fFake.UnitPath());
    if (c.Unit)
      fDir.Write("units/ORVO_Tavo.service", *c.Unit);
    EXPECT_EQ(InitServiceMode(kServiceName), c.Service);
    EXPECT_EQ(RunAsService(), c.Service);
    EXPECT_EQ(RunMode(), c.Mode);
    EXPECT_EQ(AppService() != nullptr, c.Service);
  }
  SetCommandLineSwitches({"-AnyAccount"});
  ASSERT_TRUE(InitServiceMode("My Service"));
  EXPECT_EQ(ServiceName(), "My_Service");
  EXPECT_EQ(ServiceDisplayName(), "My Service");
  EXPECT_EQ(AppService()->Name(), "My_Service");
  EXPECT_EQ(AppService()->DisplayName(), "My Service");
  EXPECT_FALSE(AppService()->AllowPause());
  EXPECT_FALSE(AppService()->Interactive());
}

// One install or uninstall run: the service object's Run with these switches.
int HostRun(const std::vector<std::string>& aSwitches, const std::string& aConfigFile = {}) {
  SetCommandLineSwitches(aSwitches);
  EXPECT_TRUE(InitServiceMode(kServiceName));
  EXPECT_TRUE(IsServiceInstallation());
  AppService()->ConfigFile = aConfigFile;
  test::TestMainLoop loop;  // an install or uninstall run never runs it
  const int status = AppService()->Run(loop);
  ReleaseAppService();
  return status;
}

TEST_F(AppServiceToolsTest, InstallAndUninstallRunsShowTheirBoxes) {
  BoxRecorder boxes;
  const auto texts = [&] {
    std::vector<std::string> t;
    for (const auto& b : boxes.Boxes)
      t.push_back(b.Text);
    boxes.Boxes.clear();
    return t;
  };
  using Texts = std::vector<std::string>;

  EXPECT_EQ(HostRun({"-install"}, "/etc/tavo/my tavo.ini"), 0);
  EXPECT_EQ(texts(), Texts{"Service installed successfully"});
  EXPECT_EQ(boxes.Boxes.size(), 0u);
  EXPECT_EQ(
      fDir.Read("units/ORVO_Tavo.service"),
      ServiceUnitText(
          {"ORVO_Tavo", "ORVO_Tavo", {ExecutablePath(), "--config", "/etc/tavo/my tavo.ini"}}));
  EXPECT_NE(fDir.Read("units/ORVO_Tavo.service").find(" --config \"/etc/tavo/my tavo.ini\"\n"),
            std::string::npos);

  EXPECT_EQ(HostRun({"/INSTALL", "/SILENT"}), 1);
  EXPECT_EQ(texts(), Texts{"Service \"ORVO_Tavo\" failed to install with error: \"" +
                           fFake.UnitPath() + ": File exists (17)\""});

  EXPECT_EQ(HostRun({"\\uninstall", "-silent"}), 0);
  EXPECT_EQ(texts(), Texts{}) << "SILENT suppresses the success box";
  EXPECT_FALSE(FileExists(fFake.UnitPath()));

  EXPECT_EQ(HostRun({"-Uninstall"}), 1);
  EXPECT_EQ(texts(), Texts{"Service \"ORVO_Tavo\" failed to uninstall with error: \"" +
                           fFake.UnitPath() + ": No such file or directory (2)\""});

  EXPECT_EQ(HostRun({"\\install", "-SILENT"}), 0);
  EXPECT_EQ(texts(), Texts{});
  EXPECT_EQ(fDir.Read("units/ORVO_Tavo.service"),
            ServiceUnitText({"ORVO_Tavo", "ORVO_Tavo", {ExecutablePath()}}));
  EXPECT_EQ(HostRun({"/uninstall"}), 0);
  EXPECT_EQ(texts(), Texts{"Service uninstalled successfully"});
  EXPECT_EQ(fFake.Calls(),
            "daemon-reload\nenable ORVO_Tavo.service\n"
            "disable ORVO_Tavo.service\ndaemon-reload\n"
            "daemon-reload\nenable ORVO_Tavo.service\n"
            "disable ORVO_Tavo.service\ndaemon-reload\n");

  // "install" wins over "uninstall", as the host checks it first.
  EXPECT_EQ(HostRun({"-uninstall", "-install", "-SILENT"}), 0);
  EXPECT_TRUE(FileExists(fFake.UnitPath()));
}

TEST_F(AppServiceToolsTest, WhereAPackageManagesTheServiceInstallAndUninstallAreRefused) {
  BoxRecorder boxes;
  SetCommandLineSwitches({"-install"});
  EXPECT_FALSE(RefusePackageManagedInstallation()) << "no package: the run goes on";

  fDir.Write("package-units/ORVO_Tavo.service", "[Service]\nType=notify\n");
  const std::string refusal =
      "Service \"ORVO_Tavo\" is managed by its package (" + fFake.PackageUnitPath() +
      "): -install and -uninstall change nothing; use \"systemctl enable --now ORVO_Tavo\" or "
      "\"systemctl disable --now ORVO_Tavo\", or remove the package";
  for (const std::vector<std::string>& switches :
       {std::vector<std::string>{"-install"}, {"/UNINSTALL", "/SILENT"}, {"\\install"}}) {
    SCOPED_TRACE(switches[0]);
    SetCommandLineSwitches(switches);
    boxes.Boxes.clear();
    EXPECT_TRUE(RefusePackageManagedInstallation());
    ASSERT_EQ(boxes.Boxes.size(), 1u) << "SILENT silences successes only";
    EXPECT_EQ(boxes.Boxes[0].Icon, TMsgBoxIcon::eError);
    EXPECT_EQ(boxes.Boxes[0].Text, refusal);
  }
  EXPECT_FALSE(FileExists(fFake.UnitPath()));
  EXPECT_EQ(fFake.Calls(), "");

  // Other runs go on, and the service manager's start of the package's unit
  // is a service run.
  boxes.Boxes.clear();
  for (const std::vector<std::string>& switches :
       {std::vector<std::string>{}, {"-AnyAccount"}, {"-SILENT"}}) {
    SetCommandLineSwitches(switches);
    EXPECT_FALSE(RefusePackageManagedInstallation());
  }
  EXPECT_EQ(boxes.Boxes.size(), 0u);
  NotifySocket notify(fDir.File("notify"));
  ::setenv("NOTIFY_SOCKET", notify.Path().c_str(), 1);
  fDir.Write("package-units/ORVO_Tavo.service", "[Service]\nUser=" + ProcessUserName() + "\n");
  SetCommandLineSwitches({});
  EXPECT_TRUE(InitServiceMode(kServiceName));
  EXPECT_EQ(RunMode(), TRunMode::eService);
}

class ServiceRunTest : public AppServiceToolsTest {
 protected:
  void SetUp() override {
    AppServiceToolsTest::SetUp();
    ::setenv("NOTIFY_SOCKET", fNotify.Path().c_str(), 1);
    SetCommandLineSwitches({"-AnyAccount"});
    ASSERT_TRUE(InitServiceMode(kServiceName));
  }
  // Runs the service; aDuring is called on the loop once it runs. The loop
  // is ended after 10 s whatever happens.
  int RunService(std::function<void()> aDuring) {
    fLoop.Post(aDuring);
    bool timedOut = false;
    const auto watchdog = fLoop.CreateTimer([&] {
      timedOut = true;
      fLoop.Quit();
    });
    watchdog->Start(10000);
    const int status = AppService()->Run(fLoop);
    EXPECT_FALSE(timedOut);
    return status;
  }
  std::vector<std::string> Reports() {
    std::vector<std::string> all;
    while (auto r = fNotify.Receive(200ms))
      all.push_back(*r);
    return all;
  }
  NotifySocket fNotify{fDir.File("notify")};
  test::TestMainLoop fLoop;
};

TEST_F(ServiceRunTest, TheStatesReachTheServiceManagerInOrder) {
  TAppService& service = *AppService();
  EXPECT_EQ(RunService([&] {
              // Running is reported once the loop has taken what was queued first.
              fLoop.Post([&] {
                EXPECT_EQ(service.State(), TServiceState::eRunning);
                service.Control(TServiceControl::eInterrogate);
                service.Control(TServiceControl::eStop);
                service.Control(TServiceControl::eStop);  // after the granted stop: ignored
              });
            }),
            0);
  EXPECT_EQ(service.State(), TServiceState::eStopped);
  EXPECT_EQ(Reports(),
            (std::vector<std::string>{"STATUS=Start pending", "READY=1\nSTATUS=Running",
                                      "READY=1\nSTATUS=Running", "STOPPING=1\nSTATUS=Stop pending",
                                      "STATUS=Stopped"}));
}

TEST_F(ServiceRunTest, ARefusedStopReportsThePreviousStateAgain) {
  TAppService& service = *AppService();
  int asked = 0;
  service.OnCloseQuery = [&](TAppService* aSender, bool& aCanClose) {
    EXPECT_EQ(aSender, &service);
    aCanClose = ++asked > 1;
  };
  EXPECT_EQ(RunService([&] {
              fLoop.Post([&] {
                service.Control(TServiceControl::eStop);
                EXPECT_EQ(service.State(), TServiceState::eRunning);
                service.Control(TServiceControl::eStop);
              });
            }),
            0);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(Reports(),
            (std::vector<std::string>{"STATUS=Start pending", "READY=1\nSTATUS=Running",
                                      "STOPPING=1\nSTATUS=Stop pending", "READY=1\nSTATUS=Running",
                                      "STOPPING=1\nSTATUS=Stop pending", "STATUS=Stopped"}));
}

TEST_F(ServiceRunTest, AShutdownEndsTheServiceWhateverTheAnswer) {
  TAppService& service = *AppService();
  bool asked = false;
  service.OnCloseQuery = [&](TAppService*, bool& aCanClose) {
    asked = true;
    EXPECT_TRUE(aCanClose);
    aCanClose = false;
  };
  EXPECT_EQ(RunService([&] { service.Control(TServiceControl::eShutdown); }), 0);
  EXPECT_TRUE(asked);
  EXPECT_EQ(Reports().back(), "STATUS=Stopped");
}

TEST_F(ServiceRunTest, WithoutAServiceManagerTheRunEndsAtOnce) {
  ::unsetenv("NOTIFY_SOCKET");
  bool looped = false;
  fLoop.Post([&] {
    looped = true;
    fLoop.Quit();
  });
  EXPECT_EQ(AppService()->Run(fLoop), 1);
  EXPECT_FALSE(looped) << "the main loop never ran";
  fLoop.ProcessPending();  // the pending procedure, before the next test
  EXPECT_EQ(Reports(), std::vector<std::string>{});
}

}  // namespace
}  // namespace tavo
