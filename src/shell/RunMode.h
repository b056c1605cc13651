#pragma once
// The run mode of the process, decided once by main() before the controller
// is created and constant afterwards. The controller asks it for its start
// and closing lines and for where an escaping error goes.
//
// Main thread only (set before any other thread starts).

namespace tavo {

enum class TRunMode {
  eDesktop,              // the operator console (or, without a window, a plain foreground run)
  eService,              // headless under a service manager
  eServiceInstallation,  // install or uninstall run: no deferred initialisation
};

void SetRunMode(TRunMode aMode, bool aForeground = false);
TRunMode RunMode();

// true in service mode and in install or uninstall runs.
bool RunAsService();
bool IsServiceInstallation();
// --foreground: a service run without a service manager; what a service
// writes to the system log also goes to standard error.
bool IsForeground();

}  // namespace tavo
