#pragma once
// Our own Windows service: its registration with the service control
// manager (install, uninstall, the account it runs under) and the run under
// it (the dispatcher, the control requests and the status reports).
// Windows only. Clients' services are SysServiceManager.h's.
//
// The dispatcher runs on a starter thread of its own, since
// StartServiceCtrlDispatcherW blocks until the service has stopped; the
// control requests arrive on the dispatcher's thread and are only passed on
// (the service host posts them to its main loop). The service main waits
// until the stopped state has been reported, so the dispatcher returns only
// then.
//
// Registration calls: main thread only; they throw EOSError with the
// system's text and code. Tests install a recording stand-in.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavo {

// The registration an install run makes (CreateServiceW), the values as
// Windows names them.
struct TWinServiceRegistration {
  std::string Name;
  std::string DisplayName;
  // The command line: the program's full path, in double quotes when it has
  // a blank, then its arguments.
  std::string BinaryPath;
  unsigned long ServiceType = 0x10;  // SERVICE_WIN32_OWN_PROCESS, not interactive
  unsigned long StartType = 2;       // SERVICE_AUTO_START
  unsigned long ErrorControl = 1;    // SERVICE_ERROR_NORMAL
  // Empty: no account and password, the local system account.
  std::string Account;
  // The event sources the program writes under (the service's name, the
  // program's file name), registered with the program as their message
  // file so that the Event Viewer shows the entries' text.
  std::vector<std::string> EventSources;
  std::string MessageFile;
  // Failure actions: restart this long after the service ended without
  // reporting stopped (SERVICE_CONFIG_FAILURE_ACTIONS); 0: none.
  unsigned long RestartDelayMs = 10000;
};

// The states as SetServiceStatus takes them.
enum class TWinServiceState : unsigned long {
  eStopped = 1,
  eStartPending = 2,
  eStopPending = 3,
  eRunning = 4,
};

// What the service control manager asks, as the service host sees it:
// eStarted once the service main has registered its control handler.
enum class TWinServiceRequest { eStarted, eStop, eShutdown, eInterrogate };

// Accepted controls: stop and shutdown (SERVICE_ACCEPT_STOP |
// SERVICE_ACCEPT_SHUTDOWN), none while the start is pending or stopped.
inline constexpr unsigned long kWinServiceAcceptedControls = 0x5;
inline constexpr unsigned long kWinServiceWaitHintMs = 5000;

class IWinService {
 public:
  virtual ~IWinService() = default;

  // OpenSCManagerW (all access), CreateServiceW, the failure actions
  // (ChangeServiceConfig2W), the event sources (the Application log's keys
  // under HKLM\SYSTEM\CurrentControlSet\Services\EventLog). A failure after
  // the creation deletes the service and the sources again.
  virtual void Install(const TWinServiceRegistration& aRegistration) = 0;
  // OpenServiceW (all access) and DeleteService; then the event sources'
  // keys, where they are.
  virtual void Uninstall(const std::string& aName,
                         const std::vector<std::string>& aEventSources) = 0;
  // The account the installed service is configured to run under
  // (QueryServiceConfigW), as the configuration names it ("LocalSystem",
  // ".\user", ...); nullopt when the manager or the service cannot be
  // opened with all access.
  virtual std::optional<std::string> ServiceAccount(const std::string& aName) = 0;

  // Starts the starter thread: StartServiceCtrlDispatcherW for the service
  // aName. aOnRequest gets the requests (on a system thread); aOnEnd gets
  // (0, false) when the dispatcher returns after the service has stopped,
  // (code, false) when the dispatcher failed, and (code, true) when the
  // service main's RegisterServiceCtrlHandlerExW did. Both must stay
  // callable until JoinDispatcher has returned.
  virtual void StartDispatcher(
      const std::string& aName, std::function<void(TWinServiceRequest)> aOnRequest,
      std::function<void(unsigned long aError, bool aInServiceMain)> aOnEnd) = 0;
  // SetServiceStatus with the accepted controls, wait hint and exit code 0
  // above; 0, or the error code of a refused report. eStopped also lets the
  // service main return.
  virtual unsigned long ReportStatus(TWinServiceState aState) = 0;
  // Waits for the starter thread (a no-op when none was started).
  virtual void JoinDispatcher() = 0;
};

// The service control manager, or what a test installed.
IWinService& WinService();
// Installs aService (not owned); nullptr restores the system's.
void SetWinService(IWinService* aService);

// "LocalSystem" (case ignored) as the process's user name shows it,
// "SYSTEM"; other names as they are.
std::string AccountUserName(const std::string& aAccount);

// One word of a service's command line (the program or an argument): in
// double quotes when it has a blank or a tab.
std::string QuoteServiceArgument(const std::string& aArg);

}  // namespace tavo
