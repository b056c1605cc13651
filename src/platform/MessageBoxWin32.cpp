#include <windows.h>
// windows.h maps MessageBox to MessageBoxW.
#undef MessageBox

#include <cstdio>

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/SystemLog.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

// A box shows only on a visible window station outside session 0; a
// service's box would wait unseen until the service manager gives up on it.
bool InteractiveDesktop() {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session) || session == 0)
    return false;
  USEROBJECTFLAGS flags{};
  const HWINSTA station = ::GetProcessWindowStation();
  return station &&
         ::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

void ShowSystemMessageBox(TMsgBoxIcon aIcon, const std::string& aText) {
  const TSysLogLevel level = aIcon == TMsgBoxIcon::eError     ? TSysLogLevel::eError
                             : aIcon == TMsgBoxIcon::eWarning ? TSysLogLevel::eWarning
                                                              : TSysLogLevel::eInfo;
  if (!InteractiveDesktop()) {
    std::fprintf(stderr, "%s\n", aText.c_str());
    std::fflush(stderr);
    WriteSystemLog(level, aText);
    return;
  }
  const UINT icon = aIcon == TMsgBoxIcon::eError     ? MB_ICONERROR
                    : aIcon == TMsgBoxIcon::eWarning ? MB_ICONWARNING
                                                     : MB_ICONINFORMATION;
  const std::string title = ChangeFileExt(ExtractFileName(ExecutablePath()), "");
  ::MessageBoxW(nullptr, Utf8ToWide(aText).c_str(), Utf8ToWide(title).c_str(),
                MB_OK | icon | MB_SETFOREGROUND);
}

}  // namespace tavo
