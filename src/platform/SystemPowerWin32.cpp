#include "platform/SystemPower.h"

// A stand-in until the Windows half is written (the shutdown privilege and
// ExitWindowsEx): the installed default refuses every reboot, as it does on
// Linux in every run but tavo's own.

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

}  // namespace

ISystemPower& SystemPower() {
  return *gPower;
}

void SetSystemPower(ISystemPower* aPower) {
  gPower = aPower ? aPower : &gRefusing;
}

}  // namespace tavo
