#pragma once
// Starting and stopping another program that runs as a system service, as a
// client does when its "Executable" names a service.
//
// IServiceControl is the service manager as the platform offers it: does a
// service exist, start it, ask it to stop. The one in effect is
// ServiceControl(); tests install a recording one with SetServiceControl,
// so no test starts or stops a real service.
//
// TServiceManager is the wrapper a client makes for one start or stop:
// connect, open the service by name, start or stop it, free the wrapper.
// Its operations report failure by their false result only: they never
// throw and never log. LastError() then holds the code of the failure.
// Main thread only.
//
// On Linux the service manager is systemd, reached through its command line
// tool (TSystemdServiceControl): the program named by the environment
// variable TAVO_SYSTEMCTL, or else "systemctl" from PATH. UNIT is the
// service name with ".service" added unless it ends so already. The calls
// it makes:
//   show --property=LoadState --value -- UNIT    (Exists)
//   start --no-block -- UNIT                     (Start)
//   show --property=ActiveState --value -- UNIT  (Stop, first)
//   stop --no-block -- UNIT                      (Stop)
// Start and Stop queue the job and do not wait for the service. Every call
// of the tool is bounded by its time-out; one that takes longer is killed
// and fails with ETIMEDOUT.
//
// On Windows it is the service control manager (TWin32ServiceControl):
// OpenSCManagerW and OpenServiceW for each call, StartServiceW without
// arguments, ControlService with SERVICE_CONTROL_STOP; the codes are the
// system's error codes as these calls give them. Start and Stop do not wait
// for the service there either.

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

namespace tavo {

#ifdef _WIN32
// The code for a service that is not installed (ERROR_SERVICE_DOES_NOT_EXIST).
inline constexpr int kServiceNotFound = 1060;
#else
// The code for a service that is not installed: the exit status systemctl
// itself uses for a unit it does not know.
inline constexpr int kServiceNotFound = 5;
#endif
// The code for a stop request to a service that is not running
// (ERROR_SERVICE_NOT_ACTIVE).
inline constexpr int kServiceNotActive = 1062;

// Each operation returns 0 on success, else the code of the failure: an
// errno, the tool's exit status, kServiceNotFound or kServiceNotActive; on
// Windows the system's error code.
class IServiceControl {
 public:
  virtual ~IServiceControl() = default;
  // Whether the local service manager can be reached at all.
  virtual int Connect() = 0;
  // 0 when the service manager knows the service aName. A name that could
  // stand for other units than this one service (glob characters *?[], a
  // "/", or the suffix of another unit type such as ".socket") is not found.
  virtual int Exists(const std::string& aName) = 0;
  virtual int Start(const std::string& aName) = 0;
  // Asks aName to stop without waiting for it; kServiceNotActive when it is
  // not active ("inactive" or "failed"), without asking it.
  virtual int Stop(const std::string& aName) = 0;
};

#ifdef _WIN32
class TWin32ServiceControl final : public IServiceControl {
 public:
  int Connect() override;
  int Exists(const std::string& aName) override;
  int Start(const std::string& aName) override;
  int Stop(const std::string& aName) override;
};
#else
class TSystemdServiceControl final : public IServiceControl {
 public:
  static constexpr int kDefaultCommandTimeoutMs = 30000;

  explicit TSystemdServiceControl(int aCommandTimeoutMs = kDefaultCommandTimeoutMs)
      : fiCommandTimeoutMs(aCommandTimeoutMs) {}

  int Connect() override;
  int Exists(const std::string& aName) override;
  int Start(const std::string& aName) override;
  int Stop(const std::string& aName) override;

 private:
  // Runs the tool; 0, or the code of the failure. aOutput receives its
  // standard output when given.
  int Run(const std::vector<std::string>& aArgs, std::string* aOutput);

  int fiCommandTimeoutMs;
  std::string fsProgram;  // the tool, once Connect has found it
};
#endif

// The system's control, whatever is installed: a TSystemdServiceControl,
// on Windows a TWin32ServiceControl.
IServiceControl& SystemServiceControl();
// The control in effect: the installed one, else the system's.
IServiceControl& ServiceControl();
// Installs aControl (not owned); nullptr restores the system's.
void SetServiceControl(IServiceControl* aControl);

class TServiceManager {
 public:
  static constexpr int kServiceNotFound = tavo::kServiceNotFound;
  static constexpr int kServiceNotActive = tavo::kServiceNotActive;
  // The wrapper's own refusals: nothing connected or opened, and an
  // argument it does not take.
#ifdef _WIN32
  static constexpr int kNotOpen = 6;           // ERROR_INVALID_HANDLE
  static constexpr int kInvalidArgument = 87;  // ERROR_INVALID_PARAMETER
#else
  static constexpr int kNotOpen = EBADF;
  static constexpr int kInvalidArgument = EINVAL;
#endif

  TServiceManager() = default;
  ~TServiceManager() = default;
  TServiceManager(const TServiceManager&) = delete;
  TServiceManager& operator=(const TServiceManager&) = delete;

  // Connects to the service manager of the local machine. Only the local
  // machine is served (a non-empty MachineName fails with kInvalidArgument);
  // DatabaseName and Access are accepted as given.
  bool Connect(const std::string& MachineName, const std::string& DatabaseName,
               std::uint32_t Access);
  // Opens the service ServiceName: true when the service manager knows it.
  // Needs a connection (else kNotOpen); an empty name fails with
  // kInvalidArgument.
  bool OpenConnection(const std::string& ServiceName);
  // Starts the opened service (else kNotOpen). Services take no start
  // arguments here: a non-empty list fails with kInvalidArgument.
  bool Start();
  bool Start(const std::vector<std::string>& ServiceArgVectors);
  // Asks the opened service to stop (else kNotOpen); does not wait for it. A
  // service that is not active gives false with kServiceNotActive.
  bool Stop();

  int LastError() const {
    return fiLastError;
  }

 private:
  bool Result(int aCode);

  bool fhServiceControlManager = false;  // connected
  std::string fhServiceHandle;           // the opened service; empty while none is open
  int fiLastError = 0;
};

}  // namespace tavo
