#include <windows.h>

#include "platform/SysServiceManager.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

// A service control manager or service handle, closed when it goes.
class TScHandle {
 public:
  explicit TScHandle(SC_HANDLE aHandle) : fhHandle(aHandle) {}
  ~TScHandle() {
    if (fhHandle)
      ::CloseServiceHandle(fhHandle);
  }
  TScHandle(const TScHandle&) = delete;
  TScHandle& operator=(const TScHandle&) = delete;
  SC_HANDLE Get() const { return fhHandle; }
  explicit operator bool() const { return fhHandle != nullptr; }

 private:
  SC_HANDLE fhHandle;
};

int LastError() {
  return static_cast<int>(::GetLastError());
}

// Opens the service aName with aAccess and runs aUse on it: 0, or the code
// of the first failure.
template <class F>
int WithService(const std::string& aName, DWORD aAccess, F aUse) {
  const TScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager)
    return LastError();
  const TScHandle service(::OpenServiceW(manager.Get(), Utf8ToWide(aName).c_str(), aAccess));
  if (!service)
    return LastError();
  return aUse(service.Get());
}

}  // namespace

int TWin32ServiceControl::Connect() {
  const TScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  return manager ? 0 : LastError();
}

int TWin32ServiceControl::Exists(const std::string& aName) {
  // The least access there is: any account may ask, and nothing changes.
  return WithService(aName, SERVICE_QUERY_STATUS, [](SC_HANDLE) { return 0; });
}

int TWin32ServiceControl::Start(const std::string& aName) {
  return WithService(aName, SERVICE_START, [](SC_HANDLE aService) {
    return ::StartServiceW(aService, 0, nullptr) ? 0 : LastError();
  });
}

int TWin32ServiceControl::Stop(const std::string& aName) {
  return WithService(aName, SERVICE_STOP, [](SC_HANDLE aService) {
    SERVICE_STATUS status{};
    // A service that is not running refuses with ERROR_SERVICE_NOT_ACTIVE,
    // kServiceNotActive.
    return ::ControlService(aService, SERVICE_CONTROL_STOP, &status) ? 0 : LastError();
  });
}

IServiceControl& SystemServiceControl() {
  static TWin32ServiceControl system;
  return system;
}

}  // namespace tavo
