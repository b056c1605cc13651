#include "shell/AppServiceTools.h"

// The portable part of the run modes and the service host; the service
// manager's side is AppServiceToolsPosix.cpp (systemd) or
// AppServiceToolsWin32.cpp (the service control manager).
#include "messages/Format.h"
#include "platform/Environment.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "platform/TextUtils.h"
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
  const bool flag = FindCmdLineSwitch("AnyAccount") || InstalledServiceRunsAsUs(gsServiceName);
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
    InstallRegistration();
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
    RemoveRegistration();
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

}  // namespace tavo
