#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Errors.h"
#include "platform/TextUtils.h"
#include "platform/WideText.h"
#include "platform/WinService.h"

namespace tavo {
namespace {

// Closes a service control manager's or a service's handle.
struct TScHandle {
  SC_HANDLE h = nullptr;
  explicit TScHandle(SC_HANDLE aHandle) : h(aHandle) {}
  ~TScHandle() {
    if (h)
      ::CloseServiceHandle(h);
  }
  TScHandle(const TScHandle&) = delete;
  TScHandle& operator=(const TScHandle&) = delete;
};

[[noreturn]] void ThrowLastError(const std::string& aWhat) {
  const DWORD code = ::GetLastError();
  throw EOSError(Win32ErrorText(aWhat, code), static_cast<int>(code));
}

// The Application log's sources: the Event Viewer looks an entry's text up
// in the source's EventMessageFile.
const std::wstring kEventSourcesKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// The registry's functions return their error instead of setting it.
[[noreturn]] void ThrowRegistryError(const std::string& aWhat, LSTATUS aCode) {
  throw EOSError(Win32ErrorText(aWhat, static_cast<DWORD>(aCode)), static_cast<int>(aCode));
}

void AddEventSource(const std::string& aSource, const std::string& aMessageFile) {
  HKEY key = nullptr;
  LSTATUS status =
      ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kEventSourcesKey + Utf8ToWide(aSource)).c_str(), 0,
                        nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS)
    ThrowRegistryError("RegCreateKeyEx", status);
  const std::wstring file = Utf8ToWide(aMessageFile);
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  status = ::RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(file.c_str()),
                            static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
  if (status == ERROR_SUCCESS) {
    status = ::RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&types), sizeof types);
  }
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS)
    ThrowRegistryError("RegSetValueEx", status);
}

// Where they are: an uninstall after a partial install finds some missing.
void RemoveEventSources(const std::vector<std::string>& aSources) {
  for (const std::string& source : aSources)
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kEventSourcesKey + Utf8ToWide(source)).c_str());
}

class TSystemWinService final : public IWinService {
 public:
  void Install(const TWinServiceRegistration& aReg) override {
    TScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.h)
      ThrowLastError("OpenSCManager");
    const std::wstring name = Utf8ToWide(aReg.Name);
    const std::wstring account = Utf8ToWide(aReg.Account);
    TScHandle service(::CreateServiceW(
        manager.h, name.c_str(), Utf8ToWide(aReg.DisplayName).c_str(), SERVICE_ALL_ACCESS,
        aReg.ServiceType, aReg.StartType, aReg.ErrorControl, Utf8ToWide(aReg.BinaryPath).c_str(),
        nullptr, nullptr, nullptr, account.empty() ? nullptr : account.c_str(), nullptr));
    if (!service.h)
      ThrowLastError("CreateService");
    try {
      if (aReg.RestartDelayMs != 0) {
        SC_ACTION restart{SC_ACTION_RESTART, aReg.RestartDelayMs};
        SERVICE_FAILURE_ACTIONSW actions{};
        actions.dwResetPeriod = 86400;  // a day without failures starts the count again
        actions.cActions = 1;
        actions.lpsaActions = &restart;
        if (!::ChangeServiceConfig2W(service.h, SERVICE_CONFIG_FAILURE_ACTIONS, &actions))
          ThrowLastError("ChangeServiceConfig2");
      }
      for (const std::string& source : aReg.EventSources)
        AddEventSource(source, aReg.MessageFile);
    } catch (...) {
      // Half a registration would surprise: none at all.
      RemoveEventSources(aReg.EventSources);
      ::DeleteService(service.h);
      throw;
    }
  }

  void Uninstall(const std::string& aName, const std::vector<std::string>& aEventSources) override {
    TScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.h)
      ThrowLastError("OpenSCManager");
    TScHandle service(::OpenServiceW(manager.h, Utf8ToWide(aName).c_str(), SERVICE_ALL_ACCESS));
    if (!service.h)
      ThrowLastError("OpenService");
    if (!::DeleteService(service.h))
      ThrowLastError("DeleteService");
    RemoveEventSources(aEventSources);
  }

  std::optional<std::string> ServiceAccount(const std::string& aName) override {
    TScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.h)
      return std::nullopt;
    TScHandle service(::OpenServiceW(manager.h, Utf8ToWide(aName).c_str(), SERVICE_ALL_ACCESS));
    if (!service.h)
      return std::nullopt;
    DWORD needed = 0;
    ::QueryServiceConfigW(service.h, nullptr, 0, &needed);
    // The configuration's strings follow it; 8 KiB is the documented maximum.
    if (needed == 0 || needed > 8192)
      return std::nullopt;
    std::vector<unsigned char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service.h, config, needed, &needed))
      return std::nullopt;
    return config->lpServiceStartName ? WideToUtf8(config->lpServiceStartName) : std::string();
  }

  void StartDispatcher(const std::string& aName, std::function<void(TWinServiceRequest)> aOnRequest,
                       std::function<void(unsigned long, bool)> aOnEnd) override {
    {
      std::lock_guard lock(fMutex);
      fsName = Utf8ToWide(aName);
      fOnRequest = std::move(aOnRequest);
      fbStopped = false;
      fhStatus = nullptr;
      gRunning = this;
    }
    fOnEnd = std::move(aOnEnd);
    fStarter = std::thread([this] {
      SERVICE_TABLE_ENTRYW table[] = {{fsName.data(), &TSystemWinService::ServiceMain},
                                      {nullptr, nullptr}};
      if (::StartServiceCtrlDispatcherW(table))
        fOnEnd(fdwMainError, fdwMainError != 0);
      else
        fOnEnd(::GetLastError(), false);
    });
  }

  unsigned long ReportStatus(TWinServiceState aState) override {
    std::lock_guard lock(fMutex);
    DWORD error = 0;
    if (fhStatus) {
      SERVICE_STATUS status{};
      status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
      status.dwCurrentState = static_cast<DWORD>(aState);
      status.dwControlsAccepted =
          aState == TWinServiceState::eStartPending || aState == TWinServiceState::eStopped
              ? 0
              : kWinServiceAcceptedControls;
      status.dwWin32ExitCode = NO_ERROR;
      status.dwCheckPoint =
          aState == TWinServiceState::eStartPending || aState == TWinServiceState::eStopPending
              ? ++fdwCheckPoint
              : 0;
      status.dwWaitHint = kWinServiceWaitHintMs;
      if (!::SetServiceStatus(fhStatus, &status))
        error = ::GetLastError();
    } else {
      error = ERROR_INVALID_HANDLE;
    }
    if (aState == TWinServiceState::eStopped) {
      fbStopped = true;
      fStopped.notify_all();
    }
    return error;
  }

  void JoinDispatcher() override {
    if (fStarter.joinable())
      fStarter.join();
    std::lock_guard lock(fMutex);
    if (gRunning == this)
      gRunning = nullptr;
  }

 private:
  static void WINAPI ServiceMain(DWORD /*argc*/, LPWSTR* /*argv*/) {
    TSystemWinService* self = gRunning;
    if (!self)
      return;
    const SERVICE_STATUS_HANDLE handle =
        ::RegisterServiceCtrlHandlerExW(self->fsName.c_str(), &TSystemWinService::Handler, self);
    if (!handle) {
      // The service never reports running; the dispatcher returns with
      // nothing to say, so the error goes with it, marked as the service
      // main's.
      self->fdwMainError = ::GetLastError();
      return;
    }
    {
      std::lock_guard lock(self->fMutex);
      self->fhStatus = handle;
    }
    self->ReportStatus(TWinServiceState::eStartPending);
    self->fOnRequest(TWinServiceRequest::eStarted);
    // Returning before the stopped report would end the dispatcher early.
    std::unique_lock lock(self->fMutex);
    self->fStopped.wait(lock, [self] { return self->fbStopped; });
  }

  static DWORD WINAPI Handler(DWORD aControl, DWORD, LPVOID, LPVOID aContext) {
    auto* self = static_cast<TSystemWinService*>(aContext);
    switch (aControl) {
      case SERVICE_CONTROL_STOP:
        self->fOnRequest(TWinServiceRequest::eStop);
        return NO_ERROR;
      case SERVICE_CONTROL_SHUTDOWN:
        self->fOnRequest(TWinServiceRequest::eShutdown);
        return NO_ERROR;
      case SERVICE_CONTROL_INTERROGATE:
        self->fOnRequest(TWinServiceRequest::eInterrogate);
        return NO_ERROR;
      default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
  }

  static inline TSystemWinService* gRunning = nullptr;

  std::mutex fMutex;
  std::condition_variable fStopped;
  bool fbStopped = false;
  std::wstring fsName;
  std::function<void(TWinServiceRequest)> fOnRequest;
  std::function<void(unsigned long, bool)> fOnEnd;
  SERVICE_STATUS_HANDLE fhStatus = nullptr;
  DWORD fdwCheckPoint = 0;
  DWORD fdwMainError = 0;
  std::thread fStarter;
};

TSystemWinService gSystem;
IWinService* gService = &gSystem;

}  // namespace

IWinService& WinService() {
  return *gService;
}

void SetWinService(IWinService* aService) {
  gService = aService ? aService : &gSystem;
}

std::string AccountUserName(const std::string& aAccount) {
  return SameText(aAccount, "LocalSystem") ? std::string("SYSTEM") : aAccount;
}

std::string QuoteServiceArgument(const std::string& aArg) {
  return aArg.find_first_of(" \t") == std::string::npos ? aArg : "\"" + aArg + "\"";
}

}  // namespace tavo
