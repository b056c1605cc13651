#include "shell/CommandLine.h"

#include "config/SystemUtils.h"
#include "platform/TextUtils.h"
#include "shell/AppServiceTools.h"

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
    } else if (IsRunModeSwitch(arg)) {
      cl.Switches.push_back(arg);
    } else {
      throw Exception("unknown argument \"" + arg + "\"");
    }
  }
  if (cl.bCheck && cl.bForeground)
    throw Exception("--check and --foreground exclude each other");
  if (cl.bCheck || cl.bForeground) {
    // SILENT only quiets an install or uninstall run: harmless anywhere.
    for (const auto& sw : cl.Switches) {
      if (!SameText(std::string_view(sw).substr(1), "SILENT")) {
        throw Exception(std::string(cl.bCheck ? "--check" : "--foreground") + " and the switch \"" +
                        sw + "\" exclude each other");
      }
    }
  }
  return cl;
}

std::string CommandLineHelp(const std::string& aProgram) {
#ifdef _WIN32
  const char* const installSwitches = "/install | /uninstall] [/SILENT]\n";
  const char* const stopRequests = "Ctrl+C or Ctrl+Break";
#else
  const char* const installSwitches = "-install | -uninstall] [-SILENT]\n";
  const char* const stopRequests = "SIGINT or SIGTERM";
#endif
  return "Usage: " + aProgram + " [--config FILE] [--foreground | --check | " + installSwitches +
         "\n"
         "Watches applications by counting the SNMP traps they send and reports on them.\n"
         "\n"
         "  --config FILE  configuration file (default: tavo.ini beside the program);\n"
         "                 the log file and relative paths follow its folder\n"
         "  --foreground   run without a window and without a service manager, as the\n"
         "                 service runs, until " +
         stopRequests +
         "\n"
         "  --check        load the configuration, print every message line, start\n"
         "                 nothing; exit status 1 when an error was found\n"
         "  --version      print the version and exit\n"
         "  --help         print this text and exit\n"
         "\n"
#ifdef _WIN32
         "  /install       register the Windows service ORVO_Tavo (running this program,\n"
         "                 with --config when given) for automatic start as LocalSystem\n"
         "  /uninstall     remove the service\n"
         "  /SILENT        no success message for /install and /uninstall\n"
         "  /AnyAccount    run as the service whatever account it is configured for\n"
         "Switches also start with '-' (and install, uninstall, AnyAccount with '\\');\n"
         "their case does not matter. TAVO_INSTANCE sets the single-instance name.\n";
#else
         "  -install       install the systemd service ORVO_Tavo (running this program,\n"
         "                 with --config when given) and enable it for automatic start\n"
         "  -uninstall     disable the service and remove its unit\n"
         "  -SILENT        no success message for -install and -uninstall\n"
         "  -AnyAccount    run as the service whatever account the unit names\n"
         "Switches also start with '/' (and install, uninstall, AnyAccount with '\\');\n"
         "their case does not matter. TAVO_UNIT_DIR, TAVO_PACKAGE_UNIT_DIR and\n"
         "TAVO_SYSTEMCTL redirect the unit directories and systemctl, TAVO_INSTANCE\n"
         "the single-instance name. Where a package manages the service, -install\n"
         "and -uninstall refuse.\n";
#endif
}

}  // namespace tavo
