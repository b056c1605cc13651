#include "shell/DesktopPlugin.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "shell/Desktop.h"
#include "shell/QtMainLoop.h"
#include "shell/RunMode.h"
#include "shell/RunScope.h"

namespace {

// Qt ends the process with abort() when no platform plugin can start, as
// without a reachable display. While the application object is being made,
// a desktop start says why instead and ends with status 1.
QtMessageHandler gPreviousQtHandler = nullptr;

void PlatformFailureHandler(QtMsgType aType, const QMessageLogContext& aContext,
                            const QString& aMsg) {
  if (aType != QtFatalMsg) {
    gPreviousQtHandler(aType, aContext, aMsg);
    return;
  }
  std::fprintf(stderr,
               "%s\ntavo: no display for the desktop console;\n"
               "run it headless with --foreground, or as the service\n",
               qPrintable(aMsg));
  std::fflush(stderr);
  std::_Exit(1);
}

class TPlatformStartGuard {
 public:
  TPlatformStartGuard() { gPreviousQtHandler = qInstallMessageHandler(PlatformFailureHandler); }
  ~TPlatformStartGuard() { Release(); }
  void Release() {
    if (gPreviousQtHandler)
      qInstallMessageHandler(std::exchange(gPreviousQtHandler, nullptr));
  }
};

}  // namespace

// Desktop mode: the console window is the main window. Closing it ends the
// event loop; SIGTERM (the end of a desktop session) and SIGINT close it
// the same way. The controller's closing line is "Application closed".
extern "C" __attribute__((visibility("default"))) int TavoRunDesktop(int* argc, char** argv) {
  using namespace tavo;
  SetRunMode(TRunMode::eDesktop);
  TPlatformStartGuard guard;
  TTavoApplication app(*argc, argv);
  guard.Release();
  TQtMainLoop loop;
  TRunScope scope(loop, true);
  TDesktopSession& session = scope.Hold(std::make_unique<TDesktopSession>(loop));
  loop.WatchStopRequests([&session, &loop] {
    session.Window().close();
    // Also ends a modal box's loop, which would otherwise hold the close.
    loop.Quit();
  });
  session.Start();
  loop.Run();
  scope.End();
  loop.WatchStopRequests({});
  return 0;
}

extern "C" __attribute__((visibility("default"))) void TavoShowDesktopBox(int* argc, char** argv,
                                                                          int aIcon,
                                                                          const char* aText) {
  TPlatformStartGuard guard;
  QApplication app(*argc, argv);
  guard.Release();
  tavo::ShowQtMessageBox(nullptr, static_cast<tavo::TMsgBoxIcon>(aIcon), aText);
}
