#pragma once
// TServiceManager: starting and stopping another program that runs as a
// system service, as a client does when its "Executable" names a service.
//
// On Linux the service manager is systemd, reached through its command line
// tool: the program named by the environment variable TAVO_SYSTEMCTL, or
// else "systemctl" from PATH. Tests point TAVO_SYSTEMCTL at a fake, so no
// test starts or stops a real service. UNIT is the service name with
// ".service" added unless it ends so already. The calls it makes:
//   show --property=LoadState --value -- UNIT    (OpenConnection)
//   start --no-block -- UNIT                     (Start)
//   show --property=ActiveState --value -- UNIT  (Stop, first)
//   stop --no-block -- UNIT                      (Stop)
// Start and Stop queue the job and do not wait for the service. Every call
// of the tool is bounded by CommandTimeoutMs; one that takes longer is
// killed and fails with ETIMEDOUT.
//
// Operations report failure by their false result only: they never throw
// and never log. LastError() then holds the errno of the failure, or the
// tool's exit status. One wrapper is made for one start or stop and freed
// afterwards. Main thread only.

#include <cstdint>
#include <string>
#include <vector>

namespace tavo {

class TServiceManager {
 public:
  // The code OpenConnection gives for a service that is not installed: the
  // exit status systemctl itself uses for a unit it does not know.
  static constexpr int kServiceNotFound = 5;
  // The code Stop gives for a service that is not running.
  static constexpr int kServiceNotActive = 1062;

  TServiceManager() = default;
  ~TServiceManager() = default;
  TServiceManager(const TServiceManager&) = delete;
  TServiceManager& operator=(const TServiceManager&) = delete;

  // Connects to the service manager of the local machine: finds the tool.
  // Only the local machine is served (a non-empty MachineName fails with
  // EINVAL); DatabaseName and Access are accepted as given.
  bool Connect(const std::string& MachineName, const std::string& DatabaseName,
               std::uint32_t Access);
  // Opens the service ServiceName: true when the service manager knows it.
  // Needs a connection (else EBADF). A name that could stand for other units
  // than this one service (glob characters *?[], a "/", or the suffix of
  // another unit type such as ".socket") fails with kServiceNotFound before
  // anything is called.
  bool OpenConnection(const std::string& ServiceName);
  // Starts the opened service (else EBADF). Services take no start
  // arguments here: a non-empty list fails with EINVAL.
  bool Start();
  bool Start(const std::vector<std::string>& ServiceArgVectors);
  // Asks the opened service to stop (else EBADF); does not wait for it. A
  // service that is not active ("inactive" or "failed") is not asked and
  // the result is false with kServiceNotActive.
  bool Stop();

  int LastError() const { return fiLastError; }

  // Time allowed for one call of the tool; 30 s unless a test shortens it.
  static int CommandTimeoutMs;

 private:
  bool Run(const std::vector<std::string>& aArgs, std::string* aOutput);

  std::string fhServiceControlManager;  // the tool; empty while not connected
  std::string fhServiceHandle;          // the opened service; empty while none is open
  int fiLastError = 0;
};

}  // namespace tavo
