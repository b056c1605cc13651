#include "platform/SystemPower.h"

#include <sys/reboot.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Errors.h"
#include "platform/SystemLog.h"
#include "platform/SystemdUnit.h"

namespace tavo {
namespace {

class TRefusingSystemPower final : public ISystemPower {
 public:
  bool Reboot(std::uint16_t, std::string& aReason) override {
    aReason = "reboots are not enabled in this run";
    return false;
  }
  void TerminateProcessNow(int) override {}
};

TRefusingSystemPower gRefusing;
ISystemPower* gPower = &gRefusing;

int SyncAndReboot() {
  ::sync();
  ::reboot(RB_AUTOBOOT);
  return errno;  // only reached when refused
}

bool IsFolder(const std::string& aPath) {
  struct stat st {};
  return ::lstat(aPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TLinuxSystemPower::TLinuxSystemPower(TSystemPowerSettings aSettings)
    : fSettings(std::move(aSettings)) {}

TLinuxSystemPower::~TLinuxSystemPower() {
  CancelPendingReboot();
}

int TLinuxSystemPower::RawReboot() {
  return fSettings.RawReboot ? fSettings.RawReboot() : SyncAndReboot();
}

bool TLinuxSystemPower::Reboot(std::uint16_t, std::string& aReason) {
  if (!IsFolder(fSettings.SystemdMarker)) {
    if (const int err = RawReboot(); err != 0) {
      aReason = ErrnoText("reboot", err);
      return false;
    }
    return true;
  }
  try {
    RunSystemctl({"reboot"});
  } catch (const EOSError& e) {
    aReason = e.what();
    return false;
  }
  ArmFallback();
  return true;
}

void TLinuxSystemPower::ArmFallback() {
  std::lock_guard lock(fMutex);
  if (fbPending)
    return;  // the first request's deadline stands
  if (fFallback.joinable())
    fFallback.join();  // an earlier fallback that has run
  fbPending = true;
  fbCancel = false;
  fFallback = std::thread([this] {
    std::unique_lock wait(fMutex);
    const bool cancelled =
        fCancelled.wait_for(wait, fSettings.FallbackDelay, [this] { return fbCancel; });
    fbPending = false;
    if (cancelled)
      return;
    wait.unlock();
    // The service manager took the request but has not stopped us: it may
    // hang on a job of its own. The machine goes down without it.
    if (const int err = RawReboot(); err != 0)
      WriteSystemLog(TSysLogLevel::eError, "System reboot refused: " + ErrnoText("reboot", err));
  });
}

void TLinuxSystemPower::CancelPendingReboot() {
  std::thread fallback;
  {
    std::lock_guard lock(fMutex);
    fbCancel = true;
    fallback = std::move(fFallback);
  }
  fCancelled.notify_all();
  if (fallback.joinable())
    fallback.join();
}

bool TLinuxSystemPower::RebootPending() const {
  std::lock_guard lock(fMutex);
  return fbPending;
}

void TLinuxSystemPower::TerminateProcessNow(int aExitCode) {
  ::_exit(aExitCode);
}

ISystemPower& SystemPower() {
  return *gPower;
}
void SetSystemPower(ISystemPower* aPower) {
  gPower = aPower ? aPower : &gRefusing;
}

}  // namespace tavo
