#include "shell/CommandLine.h"

namespace tavo {

TCommandLine ParseCommandLine(const std::vector<std::string>& aArgs) {
  TCommandLine cl;
  for (std::size_t i = 0; i < aArgs.size(); ++i) {
    const std::string& arg = aArgs[i];
    if (arg == "--config") {
      if (i + 1 >= aArgs.size() || aArgs[i + 1].empty()) {
        throw Exception("option --config needs a file name");
      }
      cl.ConfigFile = aArgs[++i];
    } else if (arg.rfind("--config=", 0) == 0) {
      cl.ConfigFile = arg.substr(9);
      if (cl.ConfigFile.empty())
        throw Exception("option --config needs a file name");
    } else if (arg == "--foreground") {
      cl.bForeground = true;
    } else if (arg == "--check") {
      cl.bCheck = true;
    } else if (arg == "--version") {
      cl.bVersion = true;
    } else if (arg == "--help" || arg == "-h") {
      cl.bHelp = true;
    } else {
      throw Exception("unknown argument \"" + arg + "\"");
    }
  }
  if (cl.bCheck && cl.bForeground)
    throw Exception("--check and --foreground exclude each other");
  return cl;
}

std::string CommandLineHelp(const std::string& aProgram) {
  return "Usage: " + aProgram +
         " [--config FILE] [--foreground | --check]\n"
         "\n"
         "Watches applications by counting the SNMP traps they send and reports on them.\n"
         "\n"
         "  --config FILE  configuration file (default: tavo.ini beside the program);\n"
         "                 the log file and relative paths follow its folder\n"
         "  --foreground   run without a window and without a service manager, as the\n"
         "                 service runs, until SIGINT or SIGTERM\n"
         "  --check        load the configuration, print every message line, start\n"
         "                 nothing; exit status 1 when an error was found\n"
         "  --version      print the version and exit\n"
         "  --help         print this text and exit\n";
}

}  // namespace tavo
