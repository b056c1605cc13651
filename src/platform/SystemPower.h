#pragma once
// Rebooting the machine and ending the process at once. Both sit behind one
// interface so that nothing but the real program can reach them: the
// installed default refuses the reboot and does not end the process; only
// tavo's main() installs TLinuxSystemPower. Tests install recording fakes.

#include <cstdint>

namespace tavo {

class ISystemPower {
 public:
  virtual ~ISystemPower() = default;
  // Asks for a reboot; true when the request was accepted. aFlags are the
  // caller's flags with the force bit (0x10) already applied.
  virtual bool Reboot(std::uint16_t aFlags) = 0;
  // Ends the process at once: no shutdown sequence, no destructors.
  virtual void TerminateProcessNow(int aExitCode) = 0;
};

// The real thing: sync() and reboot(RB_AUTOBOOT) (needs CAP_SYS_BOOT), _exit.
class TLinuxSystemPower final : public ISystemPower {
 public:
  bool Reboot(std::uint16_t aFlags) override;
  void TerminateProcessNow(int aExitCode) override;
};

ISystemPower& SystemPower();
// Installs aPower (not owned); nullptr restores the refusing default.
void SetSystemPower(ISystemPower* aPower);

}  // namespace tavo
