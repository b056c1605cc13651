#pragma once
// The runs of tavo without a window, on the main loop the program made for
// them (on Linux Qt's, shell/QtMainLoop.h): --check, --foreground, and
// service mode with its install and uninstall runs. main() has parsed the
// command line, taken the single-instance name (but for --check) and, for
// the service, decided the run mode first.
//
// Main thread only; each returns the process's exit status. The loop must
// be fresh and outlive the call.

#include <string>

#include "platform/MainLoop.h"

namespace tavo {

// --check: loads the configuration as start-up does, prints every message
// line on standard output, starts nothing; 1 when an Error or Fatal line
// was printed, else 0.
int RunConfigurationCheck(IMainLoop& aLoop);

// --foreground: the controller as a service runs it, without a window and
// without a service manager, until SIGINT or SIGTERM; then it ends in order
// and returns 0.
int RunForeground(IMainLoop& aLoop);

// Service mode and install or uninstall runs (AppService() exists): the
// controller is created (an install run writes only its first lines), then
// the service host runs; a stop request (SIGTERM, or SIGINT by hand) goes to
// the service object. aConfigFile is the absolute --config path an install
// run writes into the unit, empty without the option.
int RunServiceHost(IMainLoop& aLoop, const std::string& aConfigFile);

}  // namespace tavo
