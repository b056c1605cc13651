#include <windows.h>

#include "platform/ProcessUser.h"
#include "platform/WideText.h"

namespace tavo {

std::string ProcessUserName() {
  // Room for the longest account name (UNLEN, 256) first; more if asked.
  std::wstring name(257, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD size = static_cast<DWORD>(name.size());
    if (::GetUserNameW(name.data(), &size)) {
      name.resize(size > 0 ? size - 1 : 0);  // size counts the terminating NUL
      return WideToUtf8(name);
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      break;
    name.resize(size);
  }
  return {};
}

TUserId ProcessUserId() {
  return kNoUserId;
}

}  // namespace tavo
