#include "platform/SystemdUnit.h"

#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

#include "FakeSystemctl.h"
#include "TestSupport.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace tavo {
namespace {

using test::FakeSystemctl;
using test::TempDir;

TEST(SystemdUnitTest, ExecStartWordsAreQuotedAndEscapedOnlyWhereNeeded) {
  const struct {
    std::string Arg, Word;
  } cases[] = {
      {"/usr/local/bin/tavo", "/usr/local/bin/tavo"},
      {"/opt/my tools/tavo", "\"/opt/my tools/tavo\""},
      {"--config", "--config"},
      {"/etc/a\"b\\c.ini", "\"/etc/a\\\"b\\\\c.ini\""},
      {"/srv/it's.ini", "\"/srv/it's.ini\""},
      {"/srv/100%/$HOME.ini", "/srv/100%%/$$HOME.ini"},
      {"/srv/50% off/x", "\"/srv/50%% off/x\""},
      {"", "\"\""},
      {";", "\";\""},
      {"/srv/gr\xC3\xBC\xC3\x9F.ini", "/srv/gr\xC3\xBC\xC3\x9F.ini"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(QuoteUnitArgument(c.Arg), c.Word) << c.Arg;
  EXPECT_THROW(QuoteUnitArgument("/srv/a\nExecStartPre=/bin/false"), EConvertError);
  EXPECT_THROW(QuoteUnitArgument("/srv/a\tb"), EConvertError);
}

TEST(SystemdUnitTest, TheUnitRunsTheProgramAsANotifyServiceEnabledAtBoot) {
  const std::string text = ServiceUnitText(
      {"ORVO_Tavo", "ORVO_Tavo", {"/opt/my tools/tavo", "--config", "/etc/tavo/tavo.ini"}});
  EXPECT_EQ(text,
            "[Unit]\n"
            "Description=ORVO_Tavo\n"
            "After=network.target\n"
            "\n"
            "[Service]\n"
            "Type=notify\n"
            "ExecStart=\"/opt/my tools/tavo\" --config /etc/tavo/tavo.ini\n"
            "# Programs started for clients keep running when the service stops.\n"
            "KillMode=process\n"
            "# Started again after a failure; a main thread that stops answering\n"
            "# (no keep-alive for a minute) counts as one.\n"
            "Restart=on-failure\n"
            "RestartSec=10\n"
            "WatchdogSec=60\n"
            "\n"
            "[Install]\n"
            "WantedBy=multi-user.target\n");
  EXPECT_EQ(text.find("User="), std::string::npos) << "runs as root";
}

TEST(SystemdUnitTest, TheEnvironmentRedirectsUnitDirectoryAndTool) {
  ::unsetenv("TAVO_UNIT_DIR");
  ::unsetenv("TAVO_PACKAGE_UNIT_DIR");
  ::unsetenv("TAVO_SYSTEMCTL");
  EXPECT_EQ(SystemUnitDirectory(), "/etc/systemd/system");
  EXPECT_EQ(SystemctlProgram(), "systemctl");
  EXPECT_EQ(ServiceUnitPath("ORVO_Tavo"), "/etc/systemd/system/ORVO_Tavo.service");
  EXPECT_EQ(PackageUnitPath("ORVO_Tavo"), "/usr/lib/systemd/system/ORVO_Tavo.service");
  TempDir dir;
  FakeSystemctl fake(dir);
  fake.Install();
  EXPECT_EQ(ServiceUnitPath("ORVO_Tavo"), fake.UnitPath());
  EXPECT_EQ(PackageUnitPath("ORVO_Tavo"), fake.PackageUnitPath());
  EXPECT_EQ(SystemctlProgram(), fake.Program());
}

class SystemdUnitInstallTest : public ::testing::Test {
 protected:
  void SetUp() override { fFake.Install(); }
  // The error code of aCall's EOSError, or 0 when it threw none.
  template <class F>
  static int ErrorOf(F&& aCall, std::string* aText = nullptr) {
    try {
      aCall();
    } catch (const EOSError& e) {
      if (aText)
        *aText = e.what();
      return e.Code;
    }
    return 0;
  }
  TempDir fDir;
  FakeSystemctl fFake{fDir};
  TServiceUnit fUnit{"ORVO_Tavo", "ORVO_Tavo", {"/usr/bin/tavo"}};
};

TEST_F(SystemdUnitInstallTest, InstallWritesReloadsEnablesAndASecondInstallFails) {
  InstallServiceUnit(fUnit);
  EXPECT_EQ(fDir.Read("units/ORVO_Tavo.service"), ServiceUnitText(fUnit));
  EXPECT_EQ(fFake.Calls(), "daemon-reload\nenable ORVO_Tavo.service\n");

  fFake.ClearCalls();
  std::string text;
  EXPECT_EQ(ErrorOf([&] { InstallServiceUnit(fUnit); }, &text), EEXIST);
  EXPECT_EQ(text, fFake.UnitPath() + ": File exists (17)");
  EXPECT_EQ(fFake.Calls(), "");
  EXPECT_EQ(fDir.Read("units/ORVO_Tavo.service"), ServiceUnitText(fUnit)) << "left as it was";
}

TEST_F(SystemdUnitInstallTest, AFailedInstallLeavesNoUnitBehind) {
  fFake.Fail("enable", 4);
  std::string text;
  EXPECT_EQ(ErrorOf([&] { InstallServiceUnit(fUnit); }, &text), 4);
  EXPECT_EQ(text, fFake.Program() + " enable ORVO_Tavo.service ended with exit status 4");
  EXPECT_FALSE(FileExists(fFake.UnitPath()));
  EXPECT_EQ(fFake.Calls(), "daemon-reload\nenable ORVO_Tavo.service\ndaemon-reload\n");

  ::setenv("TAVO_SYSTEMCTL", fDir.File("no-such-tool").c_str(), 1);
  EXPECT_EQ(ErrorOf([&] { InstallServiceUnit(fUnit); }, &text), ENOENT);
  EXPECT_NE(text.find("no-such-tool daemon-reload: No such file or directory"), std::string::npos)
      << text;
  EXPECT_FALSE(FileExists(fFake.UnitPath()));

  ::setenv("TAVO_UNIT_DIR", fDir.File("no-such-dir").c_str(), 1);
  EXPECT_EQ(ErrorOf([&] { InstallServiceUnit(fUnit); }), ENOENT);
}

TEST_F(SystemdUnitInstallTest, UninstallDisablesRemovesAndReloads) {
  InstallServiceUnit(fUnit);
  fFake.ClearCalls();
  UninstallServiceUnit("ORVO_Tavo");
  EXPECT_FALSE(FileExists(fFake.UnitPath()));
  EXPECT_EQ(fFake.Calls(), "disable ORVO_Tavo.service\ndaemon-reload\n");

  fFake.ClearCalls();
  std::string text;
  EXPECT_EQ(ErrorOf([&] { UninstallServiceUnit("ORVO_Tavo"); }, &text), ENOENT);
  EXPECT_EQ(text, fFake.UnitPath() + ": No such file or directory (2)");
  EXPECT_EQ(fFake.Calls(), "") << "nothing is called for a unit that is not there";
}

TEST_F(SystemdUnitInstallTest, AFailedDisableKeepsTheUnit) {
  InstallServiceUnit(fUnit);
  fFake.Fail("disable");
  EXPECT_EQ(ErrorOf([&] { UninstallServiceUnit("ORVO_Tavo"); }), 1);
  EXPECT_TRUE(FileExists(fFake.UnitPath()));
}

TEST_F(SystemdUnitInstallTest, TheUnitsAccountIsItsServiceUserOrRoot) {
  EXPECT_EQ(ServiceUnitUser("ORVO_Tavo"), std::nullopt) << "not installed";
  const struct {
    const char* Unit;
    const char* User;
  } cases[] = {
      {"[Service]\nType=notify\n", "root"},
      {"[Service]\nUser=agent\n", "agent"},
      {"[Service]\n  User = agent  \r\n", "agent"},
      {"[Unit]\nUser=elsewhere\n[Service]\nType=notify\n", "root"},
      {"[Service]\nUser=first\nUser=second\n", "second"},
      {"[Service]\nUser=first\nUser=\n", "root"},
      {"[Service]\n#User=commented\n;User=too\n", "root"},
      {"[Service]\nUser=1001\n[Install]\nUser=x\n", "1001"},
  };
  for (const auto& c : cases) {
    fDir.Write("units/ORVO_Tavo.service", c.Unit);
    EXPECT_EQ(ServiceUnitUser("ORVO_Tavo"), c.User) << c.Unit;
  }
  // A package's unit counts unless the unit directory overrides it.
  fDir.Write("package-units/ORVO_Tavo.service", "[Service]\nUser=packaged\n");
  EXPECT_EQ(ServiceUnitUser("ORVO_Tavo"), "1001");
  ASSERT_TRUE(DeleteFile(fFake.UnitPath()));
  EXPECT_EQ(ServiceUnitUser("ORVO_Tavo"), "packaged");
}

}  // namespace
}  // namespace tavo
