#pragma once
// Rebooting the machine and ending the process at once. Both sit behind one
// interface so that nothing but the real program can reach them: the
// installed default refuses the reboot and does not end the process; only
// tavo's run paths install the system's (TPlatformSystemPower). Tests
// install fakes.
//
// On Windows the request is ExitWindowsEx with the design's flags and a
// planned reason, after the shutdown privilege has been enabled in this
// process's token; the service control manager then stops every service,
// this one in order. Both steps can be replaced (TWin32PowerSettings), so
// that tests see what would be asked without asking it.
//
// On Linux:
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

#ifdef _WIN32

struct TWin32PowerSettings {
  // Enables the shutdown privilege in our token: 0, or the system error
  // code. Empty: OpenProcessToken and AdjustTokenPrivileges.
  std::function<int()> EnableShutdownPrivilege;
  // Asks for the end of the session with aFlags (EWX_*) and the shutdown
  // reason aReason (SHTDN_REASON_*): 0 when accepted, else the system error
  // code. Empty: ExitWindowsEx.
  std::function<int(std::uint32_t aFlags, std::uint32_t aReason)> RequestShutdown;
};

class TWin32SystemPower : public ISystemPower {
 public:
  explicit TWin32SystemPower(TWin32PowerSettings aSettings = {});

  // aFlags are ExitWindowsEx's (EWX_REBOOT, EWX_FORCEIFHUNG), given as
  // they come; the reason says a planned maintenance by an application.
  bool Reboot(std::uint16_t aFlags, std::string& aReason) override;
  void TerminateProcessNow(int aExitCode) override;
  // Nothing waits after an accepted request here: the service control
  // manager's own time-outs end what hangs. Kept for the run's orderly end.
  void CancelPendingReboot() {}
  bool RebootPending() const { return false; }

  // SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_MAINTENANCE |
  // SHTDN_REASON_FLAG_PLANNED, as the event log records it.
  static constexpr std::uint32_t kPlannedReason = 0x00040000 | 0x00000001 | 0x80000000;

 private:
  TWin32PowerSettings fSettings;
};

using TPlatformSystemPower = TWin32SystemPower;

#else

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

using TPlatformSystemPower = TLinuxSystemPower;

#endif

ISystemPower& SystemPower();
// Installs aPower (not owned); nullptr restores the refusing default.
void SetSystemPower(ISystemPower* aPower);

}  // namespace tavo
