#pragma once
// The run modes and the service host.
//
// The program entry takes the single-instance name first of all
// (CheckSingleInstance), then InitServiceMode decides the run mode from the
// command line's switches and the installed service: the desktop, a service
// run, or an install or uninstall run. In the last two it creates the
// service object TAppService, whose Run either installs or removes the
// service, or runs the main loop (platform/MainLoop.h) as a service that
// reports its states to the service manager (start pending, running, stop
// pending, stopped). On Linux that is systemd's unit and notify protocol,
// and a stop request is SIGTERM, which the run path (shell/HeadlessRuns.h)
// hands to Control(eStop); on Windows the service control manager
// (platform/WinService.h), whose requests the host posts to the loop.
//
// Switches: a switch character followed by the switch word, the word
// compared without regard to case. "install" and "uninstall" take "-", "/"
// or a backslash; so does "AnyAccount"; "SILENT" takes "-" or "/".
//
// Main thread only. The process-wide state (switches, run mode, the service
// object, the single-instance name) is set up once by main() before the
// controller is created.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MainLoop.h"
#ifndef _WIN32
#include "platform/SystemdUnit.h"
#else
#include "platform/WinService.h"
#endif

namespace tavo {

inline constexpr const char* kInstanceName = "Tavo";
inline constexpr const char* kServiceName = "ORVO_Tavo";
inline constexpr std::string_view kSwitchChars = "-/\\";
inline constexpr std::string_view kHostSwitchChars = "-/";

// The command line's switch arguments, as main() found them (the values of
// options such as --config are no switches). Replaces earlier ones.
void SetCommandLineSwitches(std::vector<std::string> aArgs);
// true when a switch argument is one of aChars followed by aWord (case ignored).
bool FindCmdLineSwitch(std::string_view aWord, std::string_view aChars = kSwitchChars);
// true when aArg is one of the run modes' switches; the parser accepts these.
bool IsRunModeSwitch(std::string_view aArg);
// The switch "install" or "uninstall" is given: an install or uninstall run.
bool IsServiceInstallationSwitch();
#ifndef _WIN32
// An install or uninstall run where a package manages the service (its unit
// stands in the package unit directory, SystemdUnit.h): shows
// kPackageManagedServiceText on standard error and returns true, having
// changed nothing. false otherwise, for the run to go on.
bool RefusePackageManagedInstallation();
#endif

// The single-instance name: TAVO_INSTANCE when it is set and not empty,
// else "Tavo".
std::string InstanceName();
// Takes the name "Global\" + aName (aName empty: the executable's file
// name) and keeps it until the process ends. When another process holds it,
// shows "App \"%s\" already running!", on any other failure the same text
// with the error code, and returns false.
bool CheckSingleInstance(const std::string& aName);
// Gives the name back (tests; otherwise the process end does it).
void ReleaseSingleInstance();
// A modal error box with one OK button; without a window the text goes to
// standard error and the system log (platform/MessageBox.h).
void ShowErrorMessage(const std::string& aText);

// Sets the service names (blanks in the service name become "_"), decides
// the run mode (RunMode.h) and, in service mode and in install or uninstall
// runs, creates the service object. Service mode is chosen by:
//  - the install or uninstall switch (an install or uninstall run);
//  - the "AnyAccount" switch;
//  - an installed service whose account is the user this process runs as
//    (InstalledServiceRunsAsUs).
// Returns the run-mode flag (RunAsService).
bool InitServiceMode(const std::string& aName);
// Linux: the unit's account (User=, else root), provided the service
// manager started the process (NOTIFY_SOCKET set), so that an operator's
// plain start on a machine with the service installed stays a desktop
// start. Windows: the service's configured account ("LocalSystem" counts as
// "SYSTEM"), read with all access; no access or no service: false.
bool InstalledServiceRunsAsUs(const std::string& aServiceName);
std::string ServiceName();
std::string ServiceDisplayName();

enum class TServiceState { eStopped, eStartPending, eRunning, eStopPending };
enum class TServiceControl { eStop, eShutdown, eInterrogate };

class TAppService {
 public:
  // Raised by the stop and shutdown handlers when set; aCanClose false
  // refuses a stop. Nothing in the system sets it.
  using TCloseQueryEvent = std::function<void(TAppService* aSender, bool& aCanClose)>;

  // The service object, as InitServiceMode creates it.
  TAppService(const std::string& aName, const std::string& aDisplayName);

  const std::string& Name() const { return fsName; }
  const std::string& DisplayName() const { return fsDisplayName; }
  bool AllowPause() const { return false; }
  bool Interactive() const { return false; }
  TServiceState State() const { return fState; }

  TCloseQueryEvent OnCloseQuery;
  // The --config file an install run writes into the unit or the service's
  // command line (absolute); empty when none was given.
  std::string ConfigFile;

  // Runs the host and returns the process's exit status. "install": writes
  // and enables the unit (Windows: registers the service); "uninstall":
  // disables and removes it; each shows its error or (unless "SILENT") its
  // success box, 0 on success and 1 on failure. Otherwise runs as a service:
  // escaping errors go to the system log from here on; aLoop runs until a
  // stop has been granted, with the states reported to the service manager
  // and, when systemd asks for them, keep-alives from the loop itself. A
  // process the service manager did not start cannot run as a service: the
  // error goes to the system log and standard error and Run returns 1 (on
  // Windows once the loop has taken what was queued before).
  int Run(IMainLoop& aLoop);

  // A control request from the service manager, on the main thread.
  void Control(TServiceControl aCode);

  void ServiceStart(TAppService* aSender, bool& aStarted);
  void ServiceStop(TAppService* aSender, bool& aStopped);
  void ServiceShutdown(TAppService* aSender);

 private:
  int RegisterService();
  int UnregisterService();
  // The platform's registration of this service (a systemd unit, the
  // service control manager's entry); throw with the reason.
  void InstallRegistration();
  void RemoveRegistration();
  int RunAsServiceHost(IMainLoop& aLoop);
  void ReportStatus(TServiceState aState);
  void EndServiceLoop();

  std::string fsName;
  std::string fsDisplayName;
  TServiceState fState = TServiceState::eStopped;
  bool fbStopGranted = false;
  IMainLoop* fLoop = nullptr;  // while a service run runs it
};

// The service object InitServiceMode created; null in desktop mode.
TAppService* AppService();
// Frees it (after the controller is gone).
void ReleaseAppService();

#ifndef _WIN32
// The unit an install run writes: the service aName running aProgram, with
// --config aConfigFile unless that is empty. The package's unit is the same,
// written at build time by tavo_service_unit (ServiceUnitMain.cpp).
TServiceUnit ServiceUnitOf(const std::string& aName, const std::string& aDisplayName,
                           const std::string& aProgram, const std::string& aConfigFile);
#else
// The registration an install run makes: own process, automatic start, the
// local system account, restart 10 s after a failure; the command line is
// aProgram (quoted when it has a blank), then --config aConfigFile unless
// that is empty; the event sources of EventSourcesOf with aProgram's message
// table.
// The event sources the service aName running aProgram writes under: the
// service object's (aName) and the host's (aProgram's file name).
std::vector<std::string> EventSourcesOf(const std::string& aName, const std::string& aProgram);
TWinServiceRegistration ServiceRegistrationOf(const std::string& aName,
                                              const std::string& aDisplayName,
                                              const std::string& aProgram,
                                              const std::string& aConfigFile);
#endif

// The refusal of -install and -uninstall where a package manages the
// service: the service name, the package's unit file.
inline constexpr const char* kPackageManagedServiceText =
    "Service \"%s\" is managed by its package (%s): -install and -uninstall change "
    "nothing; use \"systemctl enable --now %s\" or \"systemctl disable --now %s\", "
    "or remove the package";

// The text for a service run without a service manager.
#ifndef _WIN32
inline constexpr const char* kNoServiceManagerText =
    "The service process could not connect to the service manager (NOTIFY_SOCKET is not set)";
#else
inline constexpr const char* kNoServiceManagerText =
    "The service process could not connect to the service control manager";
// The service main's failure, an entry under the service's name.
inline constexpr const char* kNoControlHandlerText =
    "The service could not register its control handler with the service control manager";
#endif

}  // namespace tavo
