#include <windows.h>

#include "platform/Errors.h"
#include "platform/SystemPower.h"
#include "platform/WideText.h"

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

int EnableShutdownPrivilege() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return static_cast<int>(::GetLastError());
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  int error = 0;
  if (!::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) ||
      !::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr)) {
    error = static_cast<int>(::GetLastError());
  } else if (::GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
    // Succeeds without enabling a privilege the account does not hold.
    error = ERROR_NOT_ALL_ASSIGNED;
  }
  ::CloseHandle(token);
  return error;
}

int RequestShutdown(std::uint32_t aFlags, std::uint32_t aReason) {
  return ::ExitWindowsEx(aFlags, aReason) ? 0 : static_cast<int>(::GetLastError());
}

}  // namespace

TWin32SystemPower::TWin32SystemPower(TWin32PowerSettings aSettings)
    : fSettings(std::move(aSettings)) {}

bool TWin32SystemPower::Reboot(std::uint16_t aFlags, std::string& aReason) {
  const int privilege = fSettings.EnableShutdownPrivilege ? fSettings.EnableShutdownPrivilege()
                                                          : EnableShutdownPrivilege();
  if (privilege != 0) {
    aReason = Win32ErrorText("shutdown privilege", static_cast<unsigned long>(privilege));
    return false;
  }
  const int request = fSettings.RequestShutdown ? fSettings.RequestShutdown(aFlags, kPlannedReason)
                                                : RequestShutdown(aFlags, kPlannedReason);
  if (request != 0) {
    aReason = Win32ErrorText("ExitWindowsEx", static_cast<unsigned long>(request));
    return false;
  }
  return true;
}

void TWin32SystemPower::TerminateProcessNow(int aExitCode) {
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(aExitCode));
}

ISystemPower& SystemPower() {
  return *gPower;
}
void SetSystemPower(ISystemPower* aPower) {
  gPower = aPower ? aPower : &gRefusing;
}

}  // namespace tavo
