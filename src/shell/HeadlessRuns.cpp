#include "shell/HeadlessRuns.h"

#include <memory>

#include "shell/AppServiceTools.h"
#include "shell/Controller.h"
#include "shell/Guard.h"
#include "shell/RunMode.h"
#include "shell/RunScope.h"

namespace tavo {

int RunConfigurationCheck(IMainLoop& aLoop) {
  SetRunMode(TRunMode::eService);
  TfrmMain frm(aLoop);
  return frm.RunConfigurationCheck();
}

int RunForeground(IMainLoop& aLoop) {
  SetRunMode(TRunMode::eService, true);
  TRunScope scope(aLoop, true, ServiceErrorHandler);
  aLoop.WatchStopRequests([&aLoop] { aLoop.Quit(); });

  scope.Hold(std::make_unique<TfrmMain>(aLoop)).FormCreate();
  aLoop.Run();
  // FormDestroy runs and the controller's threads are joined.
  scope.End();
  aLoop.WatchStopRequests({});
  return 0;
}

int RunServiceHost(IMainLoop& aLoop, const std::string& aConfigFile) {
  TRunScope scope(aLoop, !IsServiceInstallation(), ServiceErrorHandler);
  TAppService& service = *AppService();
  service.ConfigFile = aConfigFile;
  // An install or uninstall run has no loop to hear a stop: Ctrl-C ends it.
  if (!IsServiceInstallation())
    aLoop.WatchStopRequests([&service] { service.Control(TServiceControl::eStop); });

  scope.Hold(std::make_unique<TfrmMain>(aLoop)).FormCreate();
  const int status = service.Run(aLoop);
  scope.End();
  // The service object goes: later stop requests find nothing to stop.
  if (!IsServiceInstallation())
    aLoop.WatchStopRequests({});
  ReleaseAppService();
  return status;
}

}  // namespace tavo
