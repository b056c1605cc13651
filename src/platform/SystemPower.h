#pragma once
// Rebooting the machine and ending the process at once. Both sit behind one
// interface so that nothing but the real program can reach them: the
// installed default refuses the reboot and does not end the process; only
// tavo's run paths install TLinuxSystemPower. Tests install fakes.
//
// A reboot is orderly: the system's service manager stops every service,
// this process too (SIGTERM), and its job time-outs end what hangs. Where
// systemd runs (its directory /run/systemd/system exists), the request is
// `systemctl reboot` through the systemctl runner of SystemdUnit.h
// (TAVO_SYSTEMCTL, bounded by kSystemctlTimeoutMs); elsewhere it is the
// raw call, sync() and reboot(RB_AUTOBOOT), which needs CAP_SYS_BOOT and
// does not return when it succeeds. If the SIGTERM of an accepted request
// has not ended this process within the fallback delay (120 s), a thread of
// the power object makes the raw call; the run's orderly end cancels it
// first (CancelPendingReboot, also done by the destructor).
//
// Reboot and CancelPendingReboot: main thread only.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tavo {

class ISystemPower {
 public:
  virtual ~ISystemPower() = default;
  // Asks for a reboot; true when the request was accepted, else aReason
  // says why not. aFlags are the caller's flags with the force bit (0x10)
  // already applied.
  virtual bool Reboot(std::uint16_t aFlags, std::string& aReason) = 0;
  // Ends the process at once: no shutdown sequence, no destructors.
  virtual void TerminateProcessNow(int aExitCode) = 0;
};

struct TSystemPowerSettings {
  // Exists as a folder where systemd is the service manager.
  std::string SystemdMarker = "/run/systemd/system";
  // How long an accepted request may take to stop us before the raw call.
  std::chrono::milliseconds FallbackDelay = std::chrono::seconds(120);
  // The raw call: 0 only where it returns without rebooting (a test's),
  // else the errno. Empty: sync() and reboot(RB_AUTOBOOT).
  std::function<int()> RawReboot;
};

class TLinuxSystemPower : public ISystemPower {
 public:
  explicit TLinuxSystemPower(TSystemPowerSettings aSettings = {});
  ~TLinuxSystemPower() override;
  TLinuxSystemPower(const TLinuxSystemPower&) = delete;
  TLinuxSystemPower& operator=(const TLinuxSystemPower&) = delete;

  // The flags are the design's; systemd's job time-outs give the force.
  bool Reboot(std::uint16_t aFlags, std::string& aReason) override;
  void TerminateProcessNow(int aExitCode) override;
  // Drops the fallback of an accepted request; waits for its thread.
  void CancelPendingReboot();
  // true while a fallback waits.
  bool RebootPending() const;

 private:
  int RawReboot();
  void ArmFallback();

  TSystemPowerSettings fSettings;
  mutable std::mutex fMutex;
  std::condition_variable fCancelled;
  bool fbCancel = false;
  bool fbPending = false;
  std::thread fFallback;
};

ISystemPower& SystemPower();
// Installs aPower (not owned); nullptr restores the refusing default.
void SetSystemPower(ISystemPower* aPower);

}  // namespace tavo
