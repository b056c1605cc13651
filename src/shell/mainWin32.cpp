// tavo.exe: the monitoring agent on Windows. A GUI-subsystem program, so
// that neither the service nor a desktop start opens a console; started
// from a console it attaches to it and prints there. Parses the command
// line, takes the single-instance name, decides the run mode, and runs the
// controller on the Win32 main loop: with the operator console for a desktop
// start (shell/DesktopWin32.h), headless as the service or in the
// foreground (shell/HeadlessRuns.h); or it installs or removes the service
// and ends.

#include <cstdio>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/SystemLog.h"
#include "platform/Win32MainLoop.h"
#include "platform/WinStartup.h"
#include "shell/AppServiceTools.h"
#include "shell/CommandLine.h"
#include "shell/DesktopWin32.h"
#include "shell/HeadlessRuns.h"
#include "shell/Version.h"

namespace {

// A headless run on a fresh Win32 loop.
template <class TRun>
int RunHeadless(TRun aRun) {
  tavo::TWin32MainLoop loop;
  return aRun(loop);
}

// Where a console listens, what a box would say is printed there (and goes
// to the event log, as a service's refusal does); a box would keep a
// command prompt waiting on an unseen window.
void PrintAndLog(tavo::TMsgBoxIcon aIcon, const std::string& aText) {
  using namespace tavo;
  std::fprintf(stderr, "%s\n", aText.c_str());
  std::fflush(stderr);
  if (aIcon != TMsgBoxIcon::eInformation)
    WriteSystemLog(aIcon == TMsgBoxIcon::eError ? TSysLogLevel::eError : TSysLogLevel::eWarning,
                   aText);
}

}  // namespace

int main() {
  using namespace tavo;
  const bool console = AttachParentConsole();
  const std::string program = ExtractFileName(ExecutablePath());
  TCommandLine cl;
  try {
    cl = ParseCommandLine(ProcessArguments());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program.c_str(), e.what(), program.c_str());
    return 2;
  }
  if (cl.bHelp) {
    std::fputs(CommandLineHelp(program).c_str(), stdout);
    std::fflush(stdout);
    return 0;
  }
  if (cl.bVersion) {
    std::printf("tavo %s\n", kTavoVersion);
    std::fflush(stdout);
    return 0;
  }

  // Started from a console (or with standard error redirected), boxes
  // become lines there; otherwise the platform's box shows where a desktop
  // is and goes to the event log where none is (the service). A desktop
  // start's refusal is a box in any case, as its window would have been.
  const bool desktopStart = !cl.bForeground && !cl.bCheck && cl.Switches.empty();
  if (console && desktopStart) {
    SetMessageBoxHandler([](TMsgBoxIcon aIcon, const std::string& aText) {
      std::fprintf(stderr, "%s\n", aText.c_str());
      std::fflush(stderr);
      ShowSystemMessageBox(aIcon, aText);
    });
  } else if (console) {
    SetMessageBoxHandler(PrintAndLog);
  }
  if (!cl.ConfigFile.empty())
    SetConfigFileOverride(NormalizePath(FullPathName(cl.ConfigFile)));

  // --check starts nothing and may run beside a running agent.
  if (cl.bCheck)
    return RunHeadless(RunConfigurationCheck);

  SetCommandLineSwitches(cl.Switches);
  // One agent per machine, whatever its mode; a refused start ends here,
  // before any log file or log line.
  if (!CheckSingleInstance(InstanceName()))
    return 1;

  // Ctrl+C reaches only a process with a console.
  if (cl.bForeground) {
    EnsureConsole();
    return RunHeadless(RunForeground);
  }
  if (InitServiceMode(kServiceName)) {
    const std::string config = cl.ConfigFile.empty() ? std::string() : ConfigFilePath();
    return RunHeadless([&config](IMainLoop& aLoop) { return RunServiceHost(aLoop, config); });
  }
  return RunWin32Desktop();
}
