#include "platform/SysServiceManager.h"

#include <cerrno>
#include <string_view>

#include "platform/ChildProcess.h"
#include "platform/Environment.h"
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

int TSystemdServiceControl::Connect() {
  fsProgram.clear();
  const std::string program = EnvironmentValue("TAVO_SYSTEMCTL", "systemctl");
  const int error = CheckProgram(program);
  if (error == 0)
    fsProgram = program;
  return error;
}

int TSystemdServiceControl::Run(const std::vector<std::string>& aArgs, std::string* aOutput) {
  if (fsProgram.empty()) {
    if (const int error = Connect(); error != 0)
      return error;
  }
  std::vector<std::string> argv{fsProgram};
  argv.insert(argv.end(), aArgs.begin(), aArgs.end());
  const TRunResult r = RunProcess(argv, fiCommandTimeoutMs, aOutput != nullptr);
  if (aOutput)
    *aOutput = r.Output;
  if (r.Succeeded())
    return 0;
  return r.Error != 0 ? r.Error : r.ExitStatus;
}

int TSystemdServiceControl::Exists(const std::string& aName) {
  const std::string unit = ServiceUnitName(aName);
  if (unit.empty())
    return kServiceNotFound;
  std::string state;
  if (const int error = Run({"show", "--property=LoadState", "--value", "--", unit}, &state))
    return error;
  return TrimText(state) == "not-found" ? kServiceNotFound : 0;
}

int TSystemdServiceControl::Start(const std::string& aName) {
  const std::string unit = ServiceUnitName(aName);
  if (unit.empty())
    return kServiceNotFound;
  return Run({"start", "--no-block", "--", unit}, nullptr);
}

int TSystemdServiceControl::Stop(const std::string& aName) {
  const std::string unit = ServiceUnitName(aName);
  if (unit.empty())
    return kServiceNotFound;
  // systemctl stop succeeds for a unit that is not running; a stop request
  // to a service that is not active is refused instead.
  std::string state;
  if (const int error = Run({"show", "--property=ActiveState", "--value", "--", unit}, &state))
    return error;
  const std::string active = TrimText(state);
  if (active == "inactive" || active == "failed")
    return kServiceNotActive;
  return Run({"stop", "--no-block", "--", unit}, nullptr);
}

IServiceControl& SystemServiceControl() {
  static TSystemdServiceControl system;
  return system;
}

}  // namespace tavo
