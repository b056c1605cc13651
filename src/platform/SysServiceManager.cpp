#include "platform/SysServiceManager.h"

namespace tavo {
namespace {

IServiceControl* gServiceControl = nullptr;

}  // namespace

IServiceControl& ServiceControl() {
  return gServiceControl ? *gServiceControl : SystemServiceControl();
}

void SetServiceControl(IServiceControl* aControl) {
  gServiceControl = aControl;
}

bool TServiceManager::Result(int aCode) {
  fiLastError = aCode;
  return aCode == 0;
}

bool TServiceManager::Connect(const std::string& MachineName, const std::string&, std::uint32_t) {
  fhServiceControlManager = false;
  if (!MachineName.empty())
    return Result(kInvalidArgument);
  fhServiceControlManager = Result(ServiceControl().Connect());
  return fhServiceControlManager;
}

bool TServiceManager::OpenConnection(const std::string& ServiceName) {
  fhServiceHandle.clear();
  if (!fhServiceControlManager)
    return Result(kNotOpen);
  if (ServiceName.empty())
    return Result(kInvalidArgument);
  if (!Result(ServiceControl().Exists(ServiceName)))
    return false;
  fhServiceHandle = ServiceName;
  return true;
}

bool TServiceManager::Start() {
  return Start(std::vector<std::string>{});
}

bool TServiceManager::Start(const std::vector<std::string>& ServiceArgVectors) {
  if (fhServiceHandle.empty())
    return Result(kNotOpen);
  if (!ServiceArgVectors.empty())
    return Result(kInvalidArgument);
  return Result(ServiceControl().Start(fhServiceHandle));
}

bool TServiceManager::Stop() {
  if (fhServiceHandle.empty())
    return Result(kNotOpen);
  return Result(ServiceControl().Stop(fhServiceHandle));
}

}  // namespace tavo
