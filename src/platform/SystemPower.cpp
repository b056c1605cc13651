#include "platform/SystemPower.h"

#include <sys/reboot.h>
#include <unistd.h>

namespace tavo {
namespace {

class RefusingSystemPower final : public ISystemPower {
 public:
  bool Reboot(std::uint16_t) override { return false; }
  void TerminateProcessNow(int) override {}
};

RefusingSystemPower gRefusing;
ISystemPower* gPower = &gRefusing;

}  // namespace

bool LinuxSystemPower::Reboot(std::uint16_t) {
  ::sync();
  return ::reboot(RB_AUTOBOOT) == 0;
}

void LinuxSystemPower::TerminateProcessNow(int aExitCode) {
  ::_exit(aExitCode);
}

ISystemPower& SystemPower() {
  return *gPower;
}
void SetSystemPower(ISystemPower* aPower) {
  gPower = aPower ? aPower : &gRefusing;
}

}  // namespace tavo
