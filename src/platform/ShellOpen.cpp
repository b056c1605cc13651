#include "platform/ShellOpen.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ChildProcess.h"

namespace tavo {
namespace {

TLinuxShellOpener gLinuxOpener;
IShellOpener* gOpener = &gLinuxOpener;

}  // namespace

TShellResult TLinuxShellOpener::Open(const std::string& aFile) {
  TShellResult result;
  struct stat st {};
  if (aFile.empty() || ::stat(aFile.c_str(), &st) != 0) {
    result.ErrorCode = aFile.empty() ? ENOENT : errno;
    return result;
  }
  int err;
  if (S_ISREG(st.st_mode) && ::access(aFile.c_str(), X_OK) == 0) {
    // A bare name would be searched in PATH; the file meant is the one here.
    err = SpawnDetached({aFile.find('/') == std::string::npos ? "./" + aFile : aFile});
  } else {
    err = SpawnDetached({"xdg-open", aFile});
  }
  result.Success = err == 0;
  result.ErrorCode = err;
  return result;
}

IShellOpener& ShellOpener() {
  return *gOpener;
}
void SetShellOpener(IShellOpener* aOpener) {
  gOpener = aOpener ? aOpener : &gLinuxOpener;
}

}  // namespace tavo
