// tavo: the monitoring agent. Parses the command line, takes the
// single-instance name, decides the run mode, and runs the controller on the
// Qt event loop until it is told to stop (or installs or removes the
// service and ends). What a headless run does is shell/HeadlessRuns.h; this
// file makes its Qt loop, or loads the desktop console.

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ServiceNotify.h"
#include "platform/SharedLibrary.h"
#include "platform/StopSignals.h"
#include "platform/SystemLog.h"
#include "shell/AppServiceTools.h"
#include "shell/CommandLine.h"
#include "shell/DesktopPlugin.h"
#include "shell/HeadlessRuns.h"
#include "shell/QtMainLoop.h"
#include "shell/Version.h"

namespace {

std::string AbsolutePath(const std::string& aPath) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(aPath, ec);
  return tavo::NormalizePath(ec ? aPath : p.string());
}

// Headless runs need none of glib's main loop; Qt's own is lighter.
void UseQtOwnEventLoop() {
  if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
    qputenv("QT_NO_GLIB", "1");
}

// The desktop console, loaded for a desktop start only (see DesktopPlugin.h).
// Its entry points, or nullptr with aError set.
struct TDesktopPlugin {
  TTavoRunDesktop Run = nullptr;
  TTavoShowDesktopBox ShowBox = nullptr;
};

// Beside the program (a build tree), else where the package puts it: from
// /usr/bin/tavo, /usr/lib/tavo/. Without either, the first is the one named.
std::string DesktopPluginPath() {
  const std::string folder = tavo::ExtractFilePath(tavo::ExecutablePath());
  const std::string beside = folder + kDesktopPluginName;
  const std::string installed =
      tavo::NormalizePath(folder + kDesktopPluginInstalledFolder + kDesktopPluginName);
  return !tavo::FileExists(beside) && tavo::FileExists(installed) ? installed : beside;
}

const TDesktopPlugin* LoadDesktopPlugin(std::string& aError) {
  static TDesktopPlugin plugin;
  static std::string error;
  static bool tried = false;
  if (!tried) {
    tried = true;
    const std::string path = DesktopPluginPath();
    if (void* library = tavo::LoadSharedLibrary(path, error)) {
      plugin.Run =
          reinterpret_cast<TTavoRunDesktop>(tavo::SharedLibrarySymbol(library, "TavoRunDesktop"));
      plugin.ShowBox = reinterpret_cast<TTavoShowDesktopBox>(
          tavo::SharedLibrarySymbol(library, "TavoShowDesktopBox"));
      if (!plugin.Run || !plugin.ShowBox)
        error = path + " lacks the desktop's entry points";
    }
  }
  aError = error;
  return plugin.Run && plugin.ShowBox ? &plugin : nullptr;
}

int RunDesktop(int& argc, char** argv) {
  std::string error;
  const TDesktopPlugin* plugin = LoadDesktopPlugin(error);
  if (!plugin) {
    std::fprintf(stderr,
                 "tavo: the desktop console cannot be loaded (%s);\n"
                 "run it headless with --foreground, or as the service\n",
                 error.c_str());
    return 1;
  }
  return plugin->Run(&argc, argv);
}

// A headless run on Qt's own loop.
int RunHeadless(int& argc, char** argv, const std::function<int(tavo::IMainLoop&)>& aRun) {
  using namespace tavo;
  UseQtOwnEventLoop();
  TTavoCoreApplication app(argc, argv);
  TQtMainLoop loop;
  return aRun(loop);
}

// A refused start is told on standard error and in the system log, and in a
// box as well where a desktop start would have shown its window.
bool DisplayAvailable() {
  return !tavo::EnvironmentValue("DISPLAY").empty() ||
         !tavo::EnvironmentValue("WAYLAND_DISPLAY").empty();
}

tavo::TMessageBoxHandler RefusalBoxOnTheDesktop(int& argc, char** argv) {
  using namespace tavo;
  return [&argc, argv](TMsgBoxIcon aIcon, const std::string& aText) {
    std::fprintf(stderr, "%s\n", aText.c_str());
    std::fflush(stderr);
    WriteSystemLog(TSysLogLevel::eError, aText);
    std::string error;
    if (const TDesktopPlugin* plugin = LoadDesktopPlugin(error))
      plugin->ShowBox(&argc, argv, static_cast<int>(aIcon), aText.c_str());
  };
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavo;
  const std::string program = argc > 0 ? ExtractFileName(argv[0]) : "tavo";
  TCommandLine cl;
  try {
    cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program.c_str(), e.what(), program.c_str());
    return 2;
  }
  if (cl.bHelp) {
    std::fputs(CommandLineHelp(program).c_str(), stdout);
    return 0;
  }
  if (cl.bVersion) {
    std::printf("tavo %s\n", kTavoVersion);
    return 0;
  }

  std::setlocale(LC_ALL, "");
  if (!cl.ConfigFile.empty())
    SetConfigFileOverride(AbsolutePath(cl.ConfigFile));
  IgnoreBrokenPipes();

  // --check starts nothing and may run beside a running agent.
  if (cl.bCheck)
    return RunHeadless(argc, argv, RunConfigurationCheck);

  SetCommandLineSwitches(cl.Switches);
  // Where a package manages the service, an install or uninstall run would
  // fight it (and write a log beside /usr/bin/tavo): refused before all else.
  if (RefusePackageManagedInstallation())
    return 1;

  // One agent per machine, whatever its mode; a refused start ends here,
  // before any window, log file or log line.
  {
    const bool desktopStart = !cl.bForeground && cl.Switches.empty();
    TMessageBoxHandler previous;
    const bool box = desktopStart && DisplayAvailable() && !StartedByServiceManager();
    if (box)
      previous = SetMessageBoxHandler(RefusalBoxOnTheDesktop(argc, argv));
    const bool single = CheckSingleInstance(InstanceName());
    if (box)
      SetMessageBoxHandler(previous);
    if (!single)
      return 1;
  }

  if (cl.bForeground)
    return RunHeadless(argc, argv, RunForeground);
  if (InitServiceMode(kServiceName)) {
    const std::string config = cl.ConfigFile.empty() ? std::string() : ConfigFilePath();
    return RunHeadless(argc, argv,
                       [&config](IMainLoop& aLoop) { return RunServiceHost(aLoop, config); });
  }
  return RunDesktop(argc, argv);
}
