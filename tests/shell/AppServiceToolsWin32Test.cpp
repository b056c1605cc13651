// The service host's Windows half against a recording service control
// manager: what an install run registers, the account check, and a service
// run's states, requests and failures. No real service is touched.

#include <gtest/gtest.h>

#include <cctype>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "TestMainLoop.h"
#include "platform/Errors.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProcessUser.h"
#include "platform/SystemLog.h"
#include "platform/TextUtils.h"
#include "platform/WinService.h"
#include "shell/AppServiceTools.h"
#include "shell/Guard.h"
#include "shell/RunMode.h"

namespace tavo {
namespace {

// Records what the host asks of the service control manager. The requests
// of a run come from a thread of its own, as the manager's do.
class RecordingWinService final : public IWinService {
 public:
  void Install(const TWinServiceRegistration& aRegistration) override {
    Installed.push_back(aRegistration);
    if (FailWith != 0)
      throw EOSError("CreateService: The specified service already exists. (1073)", FailWith);
  }
  void Uninstall(const std::string& aName, const std::vector<std::string>& aEventSources) override {
    Uninstalled.push_back(aName);
    UninstalledSources = aEventSources;
    if (FailWith != 0)
      throw EOSError("OpenService: The specified service does not exist. (1060)", FailWith);
  }
  std::optional<std::string> ServiceAccount(const std::string& aName) override {
    AskedAccountOf = aName;
    return Account;
  }
  void StartDispatcher(const std::string& aName, std::function<void(TWinServiceRequest)> aOnRequest,
                       std::function<void(unsigned long, bool)> aOnEnd) override {
    DispatchedName = aName;
    fDispatcher = std::thread([this, aOnRequest, aOnEnd] {
      if (DispatcherError != 0) {
        aOnEnd(DispatcherError, false);
        return;
      }
      if (HandlerError != 0) {
        aOnEnd(HandlerError, true);
        return;
      }
      for (const auto request : Requests)
        aOnRequest(request);
    });
  }
  unsigned long ReportStatus(TWinServiceState aState) override {
    std::lock_guard lock(fMutex);
    States.push_back(aState);
    return RefuseReports;
  }
  void JoinDispatcher() override {
    if (fDispatcher.joinable())
      fDispatcher.join();
    ++Joined;
  }

  std::vector<TWinServiceRegistration> Installed;
  std::vector<std::string> Uninstalled;
  std::vector<std::string> UninstalledSources;
  int FailWith = 0;
  std::optional<std::string> Account;
  std::string AskedAccountOf;
  std::string DispatchedName;
  unsigned long DispatcherError = 0;
  unsigned long HandlerError = 0;  // RegisterServiceCtrlHandlerExW's, in the service main
  unsigned long RefuseReports = 0;
  std::vector<TWinServiceRequest> Requests;
  std::vector<TWinServiceState> States;
  int Joined = 0;

 private:
  std::mutex fMutex;
  std::thread fDispatcher;
};

struct SysLogEntry {
  TSysLogLevel Level;
  std::string Text;
  std::string Source;
};

class RecordingSystemLog final : public ISystemLog {
 public:
  void Write(TSysLogLevel aLevel, const std::string& aText, const std::string& aSource) override {
    std::lock_guard lock(fMutex);
    Entries.push_back({aLevel, aText, aSource});
  }
  std::vector<SysLogEntry> Entries;

 private:
  std::mutex fMutex;
};

class AppServiceToolsWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWinService(&fService);
    SetSystemLog(&fLog);
    SetMessageBoxHandler(
        [this](TMsgBoxIcon aIcon, const std::string& aText) { fBoxes.emplace_back(aIcon, aText); });
  }
  void TearDown() override {
    SetWinService(nullptr);
    SetSystemLog(nullptr);
    SetMessageBoxHandler({});
    SetCommandLineSwitches({});
    ReleaseAppService();
    SetRunMode(TRunMode::eDesktop);
    SetEscapedErrorHandler(nullptr);
  }
  int RunWith(std::vector<std::string> aSwitches, const std::string& aConfigFile = {}) {
    SetCommandLineSwitches(std::move(aSwitches));
    EXPECT_TRUE(InitServiceMode(kServiceName));
    AppService()->ConfigFile = aConfigFile;
    // A run that waits for requests that never come ends after 10 s.
    const auto watchdog = fLoop.CreateTimer([this] {
      fbTimedOut = true;
      fLoop.Quit();
    });
    watchdog->Start(10000);
    const int status = AppService()->Run(fLoop);
    watchdog->Stop();
    EXPECT_FALSE(fbTimedOut);
    return status;
  }

  RecordingWinService fService;
  RecordingSystemLog fLog;
  std::vector<std::pair<TMsgBoxIcon, std::string>> fBoxes;
  test::TestMainLoop fLoop;
  bool fbTimedOut = false;
};

TEST_F(AppServiceToolsWin32Test, AnInstallRunRegistersTheServiceAsDesigned) {
  EXPECT_EQ(RunWith({"/install"}, "C:\\Tavo Data\\tavo.ini"), 0);
  ASSERT_EQ(fService.Installed.size(), 1u);
  const TWinServiceRegistration& reg = fService.Installed[0];
  EXPECT_EQ(reg.Name, "ORVO_Tavo");
  EXPECT_EQ(reg.DisplayName, "ORVO_Tavo");
  EXPECT_EQ(reg.BinaryPath,
            QuoteServiceArgument(ExecutablePath()) + " --config \"C:\\Tavo Data\\tavo.ini\"");
  EXPECT_EQ(reg.ServiceType, 0x10u);
  EXPECT_EQ(reg.StartType, 2u);
  EXPECT_EQ(reg.ErrorControl, 1u);
  EXPECT_EQ(reg.Account, "");
  EXPECT_EQ(reg.RestartDelayMs, 10000u);
  // The service object's source and the host's, with the program's message
  // table.
  EXPECT_EQ(reg.EventSources,
            (std::vector<std::string>{"ORVO_Tavo", ExtractFileName(ExecutablePath())}));
  EXPECT_EQ(reg.MessageFile, ExecutablePath());
  ASSERT_EQ(fBoxes.size(), 1u);
  EXPECT_EQ(fBoxes[0].first, TMsgBoxIcon::eInformation);
  EXPECT_EQ(fBoxes[0].second, "Service installed successfully");
}

TEST_F(AppServiceToolsWin32Test, TheBinaryPathIsQuotedOnlyWithABlank) {
  EXPECT_EQ(ServiceRegistrationOf("ORVO_Tavo", "ORVO_Tavo", "C:\\Program Files\\Tavo\\tavo.exe", "")
                .BinaryPath,
            "\"C:\\Program Files\\Tavo\\tavo.exe\"");
  EXPECT_EQ(ServiceRegistrationOf("ORVO_Tavo", "ORVO_Tavo", "C:\\Tavo\\tavo.exe", "C:\\Tavo\\t.ini")
                .BinaryPath,
            "C:\\Tavo\\tavo.exe --config C:\\Tavo\\t.ini");
  // The message file is a path, never quoted.
  const TWinServiceRegistration reg =
      ServiceRegistrationOf("ORVO_Tavo", "ORVO_Tavo", "C:\\Program Files\\Tavo\\tavo.exe", "");
  EXPECT_EQ(reg.MessageFile, "C:\\Program Files\\Tavo\\tavo.exe");
  EXPECT_EQ(reg.EventSources, (std::vector<std::string>{"ORVO_Tavo", "tavo.exe"}));
}

TEST_F(AppServiceToolsWin32Test, InstallAndUninstallShowTheirBoxes) {
  struct Case {
    std::vector<std::string> Switches;
    int FailWith;
    int Status;
    std::vector<std::string> Boxes;
  };
  const Case cases[] = {
      {{"-INSTALL", "/silent"}, 0, 0, {}},
      {{"/install"},
       1073,
       1,
       {"Service \"ORVO_Tavo\" failed to install with error: \"CreateService: The specified "
        "service already exists. (1073)\""}},
      {{"/uninstall"}, 0, 0, {"Service uninstalled successfully"}},
      {{"-Uninstall", "-SILENT"}, 0, 0, {}},
      {{"/uninstall"},
       1060,
       1,
       {"Service \"ORVO_Tavo\" failed to uninstall with error: \"OpenService: The specified "
        "service does not exist. (1060)\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Switches[0] + " failing with " + std::to_string(c.FailWith));
    fBoxes.clear();
    fService.FailWith = c.FailWith;
    EXPECT_EQ(RunWith(c.Switches), c.Status);
    std::vector<std::string> boxes;
    for (const auto& box : fBoxes)
      boxes.push_back(box.second);
    EXPECT_EQ(boxes, c.Boxes);
  }
  EXPECT_EQ(fService.Uninstalled,
            (std::vector<std::string>{"ORVO_Tavo", "ORVO_Tavo", "ORVO_Tavo"}));
  EXPECT_EQ(fService.UninstalledSources,
            (std::vector<std::string>{"ORVO_Tavo", "AppServiceToolsWin32Test.exe"}));
  EXPECT_TRUE(fService.States.empty());  // no install run reports a state
}

TEST_F(AppServiceToolsWin32Test, TheServiceAccountDecidesTheRunMode) {
  const std::string user = ProcessUserName();
  ASSERT_FALSE(user.empty());
  EXPECT_EQ(AccountUserName("LocalSystem"), "SYSTEM");
  EXPECT_EQ(AccountUserName("localsystem"), "SYSTEM");
  EXPECT_EQ(AccountUserName(".\\LocalSystem"), ".\\LocalSystem");
  struct Case {
    std::optional<std::string> Account;
    std::vector<std::string> Switches;
    bool Service;
  };
  std::string upper = user;
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const Case cases[] = {
      {std::nullopt, {}, false},  // not installed, or no access to the manager
      {user, {}, true},
      {upper, {}, true},  // the case of an account name does not matter
      {".\\" + user, {}, false},
      {"DOMAIN\\" + user, {}, false},
      {".\\" + user, {"/AnyAccount"}, true},
      {std::nullopt, {"\\AnyAccount"}, true},
      {std::nullopt, {"AnyAccount"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Account.value_or("(none)"));
    fService.Account = c.Account;
    SetCommandLineSwitches(c.Switches);
    EXPECT_EQ(InitServiceMode(kServiceName), c.Service);
    EXPECT_EQ(AppService() != nullptr, c.Service);
    EXPECT_EQ(RunMode(), c.Service ? TRunMode::eService : TRunMode::eDesktop);
  }
  // LocalSystem passes only for the user the local system account is.
  fService.Account = "LocalSystem";
  SetCommandLineSwitches({});
  EXPECT_EQ(InitServiceMode(kServiceName), SameText(user, "SYSTEM"));
}

TEST_F(AppServiceToolsWin32Test, AServiceRunReportsItsStatesInOrder) {
  fService.Requests = {TWinServiceRequest::eStarted, TWinServiceRequest::eInterrogate,
                       TWinServiceRequest::eStop, TWinServiceRequest::eStop};
  EXPECT_EQ(RunWith({"/AnyAccount"}), 0);
  EXPECT_EQ(fService.DispatchedName, "ORVO_Tavo");
  EXPECT_EQ(fService.States, (std::vector<TWinServiceState>{
                                 TWinServiceState::eStartPending, TWinServiceState::eRunning,
                                 TWinServiceState::eRunning, TWinServiceState::eStopPending,
                                 TWinServiceState::eStopped}));
  EXPECT_EQ(fService.Joined, 1);
  EXPECT_TRUE(fLog.Entries.empty());
}

TEST_F(AppServiceToolsWin32Test, AShutdownEndsTheRunAndRefusedReportsAreLogged) {
  fService.Requests = {TWinServiceRequest::eStarted, TWinServiceRequest::eShutdown};
  fService.RefuseReports = 5;  // ERROR_ACCESS_DENIED
  EXPECT_EQ(RunWith({"/AnyAccount"}), 0);
  EXPECT_EQ(fService.States.back(), TWinServiceState::eStopped);
  ASSERT_EQ(fLog.Entries.size(), fService.States.size());
  for (const SysLogEntry& entry : fLog.Entries) {
    EXPECT_EQ(entry.Level, TSysLogLevel::eError);
    EXPECT_NE(entry.Text.find("Service status report to the service control manager"),
              std::string::npos);
    // The service object's own entries.
    EXPECT_EQ(entry.Source, "ORVO_Tavo");
  }
}

// The executable's file name, the host's event source.
std::string ProgramName() {
  return ExtractFileName(ExecutablePath());
}

TEST_F(AppServiceToolsWin32Test, WithoutTheServiceControlManagerTheErrorGoesToTheEventLog) {
  struct Case {
    const char* Name;
    unsigned long DispatcherError;
    unsigned long HandlerError;
    std::string Text;
    std::string Source;
  };
  const Case cases[] = {
      // ERROR_FAILED_SERVICE_CONTROLLER_CONNECT: started from a prompt. The
      // host's entry.
      {"dispatcher", 1063, 0, Win32ErrorText(kNoServiceManagerText, 1063), ProgramName()},
      // ERROR_SERVICE_DOES_NOT_EXIST, in the service main: the service's.
      {"control handler", 0, 1060, Win32ErrorText(kNoControlHandlerText, 1060), "ORVO_Tavo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fLog.Entries.clear();
    fService.States.clear();
    fService.Joined = 0;
    fService.DispatcherError = c.DispatcherError;
    fService.HandlerError = c.HandlerError;
    EXPECT_EQ(RunWith({"/AnyAccount"}), 1);
    ASSERT_EQ(fLog.Entries.size(), 1u);
    EXPECT_EQ(fLog.Entries[0].Level, TSysLogLevel::eError);
    EXPECT_EQ(fLog.Entries[0].Text, c.Text);
    EXPECT_EQ(fLog.Entries[0].Source, c.Source);
    EXPECT_TRUE(fBoxes.empty());
    EXPECT_EQ(fService.Joined, 1);
    // No state is reported to a manager that never connected.
    EXPECT_TRUE(fService.States.empty() ||
                fService.States == std::vector<TWinServiceState>{TWinServiceState::eStopped});
  }
}

// An error escaping a handler of the main loop in a service run is the
// host's entry, under the executable's name.
TEST_F(AppServiceToolsWin32Test, AnEscapedErrorIsTheHostsEntry) {
  fService.Requests = {TWinServiceRequest::eStarted, TWinServiceRequest::eStop};
  fLoop.Post([] { throw EOSError("escaped", 1); });
  EXPECT_EQ(RunWith({"/AnyAccount"}), 0);
  ASSERT_EQ(fLog.Entries.size(), 1u);
  EXPECT_EQ(fLog.Entries[0].Text, "escaped");
  EXPECT_EQ(fLog.Entries[0].Source, ProgramName());
}

}  // namespace
}  // namespace tavo
