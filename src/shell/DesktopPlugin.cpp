#include "shell/DesktopPlugin.h"

#include <QApplication>
#include <memory>

#include "platform/SystemPower.h"
#include "shell/Desktop.h"
#include "shell/QtMainThread.h"
#include "shell/RunMode.h"
#include "shell/StopSignals.h"

// Desktop mode: the console window is the main window. Closing it ends the
// event loop; SIGTERM (the end of a desktop session) and SIGINT close it
// the same way. The controller's closing line is "Application closed".
extern "C" __attribute__((visibility("default"))) int TavoRunDesktop(int* argc, char** argv) {
  using namespace tavo;
  SetRunMode(TRunMode::eDesktop);
  TTavoApplication app(*argc, argv);
  TQtMainThread mainThread;
  LinuxSystemPower power;
  SetSystemPower(&power);

  auto session = std::make_unique<TDesktopSession>();
  std::unique_ptr<QSocketNotifier> stopNotifier;
  InstallStopSignals(app, stopNotifier, [&session] {
    session->Window().close();
    // Also ends a modal box's loop, which would otherwise hold the close.
    QCoreApplication::quit();
  });
  session->Start();
  app.exec();

  mainThread.BeginShutdown();
  session.reset();
  SetSystemPower(nullptr);
  return 0;
}

extern "C" __attribute__((visibility("default"))) void TavoShowDesktopBox(int* argc, char** argv,
                                                                          int aIcon,
                                                                          const char* aText) {
  QApplication app(*argc, argv);
  tavo::ShowQtMessageBox(nullptr, static_cast<tavo::TMsgBoxIcon>(aIcon), aText);
}
