#include "platform/SystemPower.h"

#include <sys/reboot.h>
#include <unistd.h>

namespace tavo {
namespace {

class TRefusingSystemPower final : public ISystemPower {
 public:
  bool Reboot(std::uint16_t) override { return false; }
  void TerminateProcessNow(int) override {}
};

TRefusingSystemPower gRefusing;
ISystemPower* gPower = &gRefusing;

}  // namespace

bool TLinuxSystemPower::Reboot(std::uint16_t) {
  ::sync();
  return ::reboot(RB_AUTOBOOT) == 0;
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
