#include "platform/SysServiceManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/ChildProcess.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

// 0 when aProgram can be run as given or found in PATH, else the errno.
int CheckProgram(const std::string& aProgram) {
  int error = 0;
  return FindProgram(aProgram, &error).empty() ? error : 0;
}

constexpr std::string_view kServiceSuffix = ".service";

// The unit to call systemctl with for the service aName, or empty when aName
// cannot name one service: systemctl expands glob patterns over the loaded
// units, accepts every unit type, and turns a path into a mount or device
// unit. A bare name gets ".service".
std::string ServiceUnitName(const std::string& aName) {
  static constexpr std::string_view kOtherTypes[] = {".socket", ".device", ".mount", ".automount",
                                                     ".swap",   ".target", ".path",  ".timer",
                                                     ".slice",  ".scope"};
  if (aName.find_first_of("*?[]/") != std::string::npos)
    return {};
  if (aName.ends_with(kServiceSuffix))
    return aName;
  for (std::string_view type : kOtherTypes) {
    if (aName.ends_with(type))
      return {};
  }
  return aName + std::string(kServiceSuffix);
}

}  // namespace

int TServiceManager::CommandTimeoutMs = 30000;

bool TServiceManager::Connect(const std::string& MachineName, const std::string&, std::uint32_t) {
  fhServiceControlManager.clear();
  if (!MachineName.empty()) {
    fiLastError = EINVAL;
    return false;
  }
  const char* env = std::getenv("TAVO_SYSTEMCTL");
  const std::string program = env && *env ? env : "systemctl";
  fiLastError = CheckProgram(program);
  if (fiLastError != 0)
    return false;
  fhServiceControlManager = program;
  return true;
}

bool TServiceManager::Run(const std::vector<std::string>& aArgs, std::string* aOutput) {
  std::vector<std::string> argv{fhServiceControlManager};
  argv.insert(argv.end(), aArgs.begin(), aArgs.end());
  const TRunResult r = RunProcess(argv, CommandTimeoutMs, aOutput != nullptr);
  if (aOutput)
    *aOutput = r.Output;
  fiLastError = r.Error != 0 ? r.Error : r.ExitStatus;
  return r.Succeeded();
}

bool TServiceManager::OpenConnection(const std::string& ServiceName) {
  fhServiceHandle.clear();
  if (fhServiceControlManager.empty()) {
    fiLastError = EBADF;
    return false;
  }
  if (ServiceName.empty()) {
    fiLastError = EINVAL;
    return false;
  }
  const std::string unit = ServiceUnitName(ServiceName);
  if (unit.empty()) {
    fiLastError = kServiceNotFound;
    return false;
  }
  std::string state;
  if (!Run({"show", "--property=LoadState", "--value", "--", unit}, &state))
    return false;
  if (TrimText(state) == "not-found") {
    fiLastError = kServiceNotFound;
    return false;
  }
  fhServiceHandle = unit;
  return true;
}

bool TServiceManager::Start() {
  return Start(std::vector<std::string>{});
}

bool TServiceManager::Start(const std::vector<std::string>& ServiceArgVectors) {
  if (fhServiceHandle.empty()) {
    fiLastError = EBADF;
    return false;
  }
  if (!ServiceArgVectors.empty()) {
    fiLastError = EINVAL;
    return false;
  }
  return Run({"start", "--no-block", "--", fhServiceHandle}, nullptr);
}

bool TServiceManager::Stop() {
  if (fhServiceHandle.empty()) {
    fiLastError = EBADF;
    return false;
  }
  // systemctl stop succeeds for a unit that is not running; a stop request
  // to a service that is not active is refused instead.
  std::string state;
  if (!Run({"show", "--property=ActiveState", "--value", "--", fhServiceHandle}, &state))
    return false;
  const std::string active = TrimText(state);
  if (active == "inactive" || active == "failed") {
    fiLastError = kServiceNotActive;
    return false;
  }
  return Run({"stop", "--no-block", "--", fhServiceHandle}, nullptr);
}

}  // namespace tavo
