#include <windows.h>

#include "platform/SingleInstance.h"
#include "platform/WideText.h"

namespace tavo {

const int TSingleInstanceLock::kTaken = ERROR_ALREADY_EXISTS;
const int TSingleInstanceLock::kNameTooLong = ERROR_FILENAME_EXCED_RANGE;

TSingleInstanceLock::~TSingleInstanceLock() {
  Release();
}

void TSingleInstanceLock::Release() {
  if (fhLock != kNoLock) {
    ::CloseHandle(reinterpret_cast<HANDLE>(fhLock));
    fhLock = kNoLock;
  }
}

int TSingleInstanceLock::Acquire(const std::string& aName) {
  Release();
  if (aName.size() > kMaxNameLength)
    return kNameTooLong;
  const std::wstring name = Utf8ToWide("Global\\" + aName);
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
  const DWORD e = ::GetLastError();
  if (mutex && e == ERROR_ALREADY_EXISTS) {
    // Opened another's: the name is taken, and our handle must not keep it.
    ::CloseHandle(mutex);
    return kTaken;
  }
  if (!mutex) {
    // A mutex of another account (the service's, as local system) cannot
    // be opened with full access: it exists, so the name is taken too.
    return e == ERROR_ACCESS_DENIED ? kTaken : static_cast<int>(e);
  }
  fhLock = reinterpret_cast<std::intptr_t>(mutex);
  return 0;
}

}  // namespace tavo
