#pragma once
// The command line of tavo. Options:
//   --config FILE   configuration file (every derived path follows it)
//   --foreground    run as a service runs, without a service manager, until
//                   SIGINT or SIGTERM
//   --check         load the configuration, print the messages, start nothing
//   --version, --help
// and the run modes' switches (-install, /uninstall, -SILENT, /AnyAccount,
// ...; shell/AppServiceTools.h), which are collected in order.
// Throws Exception with a text for the user on anything it does not know.

#include <string>
#include <vector>

#include "platform/Errors.h"

namespace tavo {

struct TCommandLine {
  std::string ConfigFile;  // empty: beside the executable
  bool bForeground = false;
  bool bCheck = false;
  bool bVersion = false;
  bool bHelp = false;
  std::vector<std::string> Switches;  // the run modes' switches, as given
};

TCommandLine ParseCommandLine(const std::vector<std::string>& aArgs);
std::string CommandLineHelp(const std::string& aProgram);

}  // namespace tavo
