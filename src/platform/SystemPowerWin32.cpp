#include <windows.h>

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

// "<what>: <the system's text> (<code>)", in English where the system has it.
std::string SystemErrorText(const std::string& aWhat, int aCode) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(aCode), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
      reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::wstring text = n > 0 && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer)
    ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  if (text.empty())
    text = L"system error";
  return aWhat + ": " + WideToUtf8(text) + " (" + std::to_string(aCode) + ")";
}

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
    aReason = SystemErrorText("shutdown privilege", privilege);
    return false;
  }
  const int request = fSettings.RequestShutdown ? fSettings.RequestShutdown(aFlags, kPlannedReason)
                                                : RequestShutdown(aFlags, kPlannedReason);
  if (request != 0) {
    aReason = SystemErrorText("ExitWindowsEx", request);
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
