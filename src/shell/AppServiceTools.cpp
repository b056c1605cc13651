#include "shell/AppServiceTools.h"

#include <cstdio>
#include <cstdlib>

#include "config/SystemUtils.h"
#include "messages/Format.h"
#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProcessUser.h"
#include "platform/ServiceNotify.h"
#include "platform/SingleInstance.h"
#include "platform/SystemLog.h"
#include "platform/SystemdUnit.h"
#include "platform/TextUtils.h"
#include "shell/Guard.h"
#include "shell/RunMode.h"

namespace tavo {
namespace {

std::vector<std::string> gSwitches;
TSingleInstanceLock gInstanceLock;
std::string gsServiceName;
std::string gsDisplayName;
std::unique_ptr<TAppService> gAppService;

bool IsSwitch(std::string_view aArg, std::string_view aWord, std::string_view aChars) {
  return aArg.size() == aWord.size() + 1 && aChars.find(aArg[0]) != std::string_view::npos &&
         SameText(aArg.substr(1), aWord);
}

// Said where a service is heard, whoever started it.
void WriteHostError(const std::string& aText) {
  WriteSystemLog(TSysLogLevel::eError, aText);
  std::fprintf(stderr, "%s\n", aText.c_str());
  std::fflush(stderr);
}

// A unit's User= names the account, or gives its number.
bool IsProcessAccount(const std::string& aAccount) {
  if (IsDigitsOnly(aAccount))
    return aAccount.size() <= 10 && std::stoull(aAccount) == ProcessUserId();
  const std::string user = ProcessUserName();
  return !user.empty() && SameText(user, aAccount);
}

}  // namespace

void SetCommandLineSwitches(std::vector<std::string> aArgs) {
  gSwitches = std::move(aArgs);
}

bool FindCmdLineSwitch(std::string_view aWord, std::string_view aChars) {
  for (const auto& arg : gSwitches) {
    if (IsSwitch(arg, aWord, aChars))
      return true;
  }
  return false;
}

bool IsRunModeSwitch(std::string_view aArg) {
  return IsSwitch(aArg, "install", kSwitchChars) || IsSwitch(aArg, "uninstall", kSwitchChars) ||
         IsSwitch(aArg, "AnyAccount", kSwitchChars) || IsSwitch(aArg, "SILENT", kHostSwitchChars);
}

bool IsServiceInstallationSwitch() {
  return FindCmdLineSwitch("install") || FindCmdLineSwitch("uninstall");
}

bool RefusePackageManagedInstallation() {
  if (!IsServiceInstallationSwitch())
    return false;
  const std::string unit = PackageUnitPath(kServiceName);
  if (!FileExists(unit))
    return false;
  ShowErrorMessage(
      Format(kPackageManagedServiceText, {kServiceName, unit, kServiceName, kServiceName}));
  return true;
}

TServiceUnit ServiceUnitOf(const std::string& aName, const std::string& aDisplayName,
                           const std::string& aProgram, const std::string& aConfigFile) {
  TServiceUnit unit{aName, aDisplayName, {aProgram}};
  if (!aConfigFile.empty()) {
    unit.ExecStart.push_back("--config");
    unit.ExecStart.push_back(aConfigFile);
  }
  return unit;
}

std::string InstanceName() {
  return EnvironmentValue("TAVO_INSTANCE", kInstanceName);
}

bool CheckSingleInstance(const std::string& aName) {
  const std::string name = aName.empty() ? ExtractFileName(ExecutablePath()) : aName;
  const int e = gInstanceLock.Acquire(name);
  if (e == 0)
    return true;
  if (e == TSingleInstanceLock::kTaken) {
    ShowErrorMessage(Format("App \"%s\" already running!", {name}));
  } else {
    ShowErrorMessage(Format("App \"%s\" already running! (%d)", {name, e}));
  }
  return false;
}

void ReleaseSingleInstance() {
  gInstanceLock.Release();
}

void ShowErrorMessage(const std::string& aText) {
  ShowMessageBox(TMsgBoxIcon::eError, aText);
}

bool InitServiceMode(const std::string& aName) {
  gsDisplayName = aName;
  gsServiceName = aName;
  for (char& c : gsServiceName) {
    if (c == ' ')
      c = '_';
  }
  gAppService.reset();

  if (IsServiceInstallationSwitch()) {
    SetRunMode(TRunMode::eServiceInstallation);
    gAppService = std::make_unique<TAppService>(gsServiceName, gsDisplayName);
    return true;
  }
  bool flag = FindCmdLineSwitch("AnyAccount");
  if (!flag && StartedByServiceManager()) {
    const auto account = ServiceUnitUser(gsServiceName);
    flag = account && IsProcessAccount(*account);
  }
  SetRunMode(flag ? TRunMode::eService : TRunMode::eDesktop);
  if (flag)
    gAppService = std::make_unique<TAppService>(gsServiceName, gsDisplayName);
  return flag;
}

std::string ServiceName() {
  return gsServiceName;
}
std::string ServiceDisplayName() {
  return gsDisplayName;
}

TAppService* AppService() {
  return gAppService.get();
}
void ReleaseAppService() {
  gAppService.reset();
}

TAppService::TAppService(const std::string& aName, const std::string& aDisplayName)
    : fsName(aName), fsDisplayName(aDisplayName) {}

int TAppService::Run(IMainLoop& aLoop) {
  // The backslash counts for the host too: "\install" installs.
  if (FindCmdLineSwitch("INSTALL", kSwitchChars))
    return RegisterService();
  if (FindCmdLineSwitch("UNINSTALL", kSwitchChars))
    return UnregisterService();
  return RunAsServiceHost(aLoop);
}

int TAppService::RegisterService() {
  try {
    InstallServiceUnit(ServiceUnitOf(fsName, fsDisplayName, ExecutablePath(), ConfigFile));
  } catch (const std::exception& e) {
    ShowMessageBox(
        TMsgBoxIcon::eError,
        Format("Service \"%s\" failed to install with error: \"%s\"", {fsDisplayName, e.what()}));
    return 1;
  }
  if (!FindCmdLineSwitch("SILENT", kHostSwitchChars))
    ShowMessageBox(TMsgBoxIcon::eInformation, "Service installed successfully");
  return 0;
}

int TAppService::UnregisterService() {
  try {
    UninstallServiceUnit(fsName);
  } catch (const std::exception& e) {
    ShowMessageBox(
        TMsgBoxIcon::eError,
        Format("Service \"%s\" failed to uninstall with error: \"%s\"", {fsDisplayName, e.what()}));
    return 1;
  }
  if (!FindCmdLineSwitch("SILENT", kHostSwitchChars))
    ShowMessageBox(TMsgBoxIcon::eInformation, "Service uninstalled successfully");
  return 0;
}

int TAppService::RunAsServiceHost(IMainLoop& aLoop) {
  // From here on an escaping error is a system log entry, not a box.
  SetEscapedErrorHandler(ServiceErrorHandler);
  if (!StartedByServiceManager()) {
    WriteHostError(kNoServiceManagerText);
    return 1;
  }
  fbStopGranted = false;
  ReportStatus(TServiceState::eStartPending);
  bool started = false;
  ServiceStart(this, started);
  if (!started) {
    ReportStatus(TServiceState::eStopped);
    return 1;
  }
  // Running once the loop has taken what start-up queued before (the
  // deferred initialisation), so that a waiting "systemctl start" returns
  // to a service that has loaded its configuration.
  // (The token drops the report should the loop end before it runs.)
  const auto context = std::make_shared<char>();
  aLoop.Post([this, alive = std::weak_ptr<char>(context)] {
    if (!alive.expired() && fState == TServiceState::eStartPending)
      ReportStatus(TServiceState::eRunning);
  });
  // Keep-alives from the main thread itself: when it hangs, they stop and
  // the service manager restarts the service.
  const std::unique_ptr<IMainLoopTimer> watchdog =
      aLoop.CreateTimer([] { NotifyServiceManager("WATCHDOG=1"); });
  if (const int interval = WatchdogIntervalMs(); interval > 0)
    watchdog->Start(interval);
  fLoop = &aLoop;
  aLoop.Run();
  fLoop = nullptr;
  watchdog->Stop();
  // systemd learns the end from the process's exit; the controller's
  // shutdown follows.
  ReportStatus(TServiceState::eStopped);
  return 0;
}

void TAppService::Control(TServiceControl aCode) {
  if (fbStopGranted)
    return;
  switch (aCode) {
    case TServiceControl::eStop: {
      const TServiceState previous = fState;
      ReportStatus(TServiceState::eStopPending);
      bool stopped = false;
      ServiceStop(this, stopped);
      if (stopped) {
        EndServiceLoop();
      } else {
        ReportStatus(previous);
      }
      break;
    }
    case TServiceControl::eShutdown:
      ReportStatus(TServiceState::eStopPending);
      ServiceShutdown(this);
      EndServiceLoop();
      break;
    case TServiceControl::eInterrogate:
      ReportStatus(fState);
      break;
  }
}

void TAppService::EndServiceLoop() {
  fbStopGranted = true;
  if (fLoop)
    fLoop->Quit();
}

void TAppService::ServiceStart(TAppService* /*aSender*/, bool& aStarted) {
  aStarted = true;
}

void TAppService::ServiceStop(TAppService* /*aSender*/, bool& aStopped) {
  aStopped = true;
  if (OnCloseQuery)
    OnCloseQuery(this, aStopped);
}

void TAppService::ServiceShutdown(TAppService* /*aSender*/) {
  bool canClose = true;
  if (OnCloseQuery)
    OnCloseQuery(this, canClose);
}

void TAppService::ReportStatus(TServiceState aState) {
  fState = aState;
  const char* state = "";
  switch (aState) {
    case TServiceState::eStartPending:
      state = "STATUS=Start pending";
      break;
    case TServiceState::eRunning:
      state = "READY=1\nSTATUS=Running";
      break;
    case TServiceState::eStopPending:
      state = "STOPPING=1\nSTATUS=Stop pending";
      break;
    case TServiceState::eStopped:
      state = "STATUS=Stopped";
      break;
  }
  // A refused report is worth an entry; the service goes on.
  if (const int err = NotifyServiceManager(state); err != 0)
    WriteServiceLog(ErrnoText("Service status report to the service manager", err), true);
}

}  // namespace tavo
