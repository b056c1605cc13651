// The POSIX half of the service host: the systemd unit, the notify
// protocol and the unit's account.
#include <cstdio>
#include <cstdlib>

#include "config/SystemUtils.h"
#include "messages/Format.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProcessUser.h"
#include "platform/ServiceNotify.h"
#include "platform/SystemLog.h"
#include "platform/SystemdUnit.h"
#include "platform/TextUtils.h"
#include "shell/AppServiceTools.h"
#include "shell/Guard.h"

namespace tavo {
namespace {

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

bool InstalledServiceRunsAsUs(const std::string& aServiceName) {
  if (!StartedByServiceManager())
    return false;
  const auto account = ServiceUnitUser(aServiceName);
  return account && IsProcessAccount(*account);
}

void TAppService::InstallRegistration() {
  InstallServiceUnit(ServiceUnitOf(fsName, fsDisplayName, ExecutablePath(), ConfigFile));
}

void TAppService::RemoveRegistration() {
  UninstallServiceUnit(fsName);
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
    WriteServiceLog(ErrnoText("Service status report to the service manager", err), true, fsName);
}

}  // namespace tavo
