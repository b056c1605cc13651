#include "platform/SysServiceManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/ChildProcess.h"

namespace tavo {
namespace {

// 0 when aProgram can be run as given or found in PATH, else the errno.
int CheckProgram(const std::string& aProgram) {
  const auto runnable = [](const std::string& aPath) {
    struct stat st {};
    if (::stat(aPath.c_str(), &st) != 0)
      return errno;
    if (!S_ISREG(st.st_mode))
      return EACCES;
    return ::access(aPath.c_str(), X_OK) == 0 ? 0 : errno;
  };
  if (aProgram.find('/') != std::string::npos)
    return runnable(aProgram);
  const char* env = std::getenv("PATH");
  const std::string path = env && *env ? env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos)
      end = path.size();
    const std::string dir = path.substr(start, end - start);
    start = end + 1;
    if (runnable((dir.empty() ? "." : dir) + "/" + aProgram) == 0)
      return 0;
  }
  return ENOENT;
}

std::string Trimmed(const std::string& aText) {
  const auto b = aText.find_first_not_of(" \t\r\n");
  if (b == std::string::npos)
    return {};
  return aText.substr(b, aText.find_last_not_of(" \t\r\n") - b + 1);
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
  std::string state;
  if (!Run({"show", "--property=LoadState", "--value", "--", ServiceName}, &state))
    return false;
  if (Trimmed(state) == "not-found") {
    fiLastError = kServiceNotFound;
    return false;
  }
  fhServiceHandle = ServiceName;
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
  return Run({"stop", "--no-block", "--", fhServiceHandle}, nullptr);
}

}  // namespace tavo
