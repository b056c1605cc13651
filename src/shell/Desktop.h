#pragma once
// Desktop mode: the console window as the program's main window over the
// controller. TDesktopSession wires the two together and installs the
// desktop's hooks: an error that escapes an event handler goes to the
// controller's exception hook (a Fatal line and an error box), and message
// boxes are real modal boxes over the window. main() runs one session on
// the application's event loop; the gui tests drive one the same way.
//
// One error box at a time: an error that escapes while the box is open
// gets its Fatal line, but no box of its own.
//
// Main thread only. Create the application object (TTavoApplication) and
// the main loop (shell/QtMainLoop.h) first; begin the hand-off's shutdown
// before the session goes, so that no worker reaches a controller being
// destroyed.

#include <QApplication>
#include <memory>

#include "platform/MessageBox.h"
#include "shell/ConsoleActions.h"
#include "shell/ConsoleWindow.h"
#include "shell/Controller.h"
#include "shell/Guard.h"
#include "shell/QtMainLoop.h"

namespace tavo {

// QApplication whose notify() is guarded: Qt never sees an exception.
class TTavoApplication : public QApplication {
 public:
  TTavoApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* aReceiver, QEvent* aEvent) override;
};

// Shows aText in a modal box over aParent (may be null) and waits for OK.
void ShowQtMessageBox(QWidget* aParent, TMsgBoxIcon aIcon, const std::string& aText);

class TDesktopSession {
 public:
  // The window and the controller on aLoop; the hooks are installed,
  // nothing runs.
  explicit TDesktopSession(IMainLoop& aLoop);
  // FormDestroy (its closing line is the last one), then the hooks are
  // removed and the window freed.
  ~TDesktopSession();
  TDesktopSession(const TDesktopSession&) = delete;
  TDesktopSession& operator=(const TDesktopSession&) = delete;

  // FormCreate, then the window is shown centred. The deferred
  // initialisation follows when the event loop runs.
  void Start();

  TConsoleWindow& Window() const { return *fWindow; }
  TfrmMain& Controller() const { return *fController; }

 private:
  // The exception hook of desktop mode: the controller's, one box at a time.
  void ExceptionHook(const std::string& aText);

  // Declared first: the window outlives the controller, whose closing line
  // still reaches the log view.
  std::unique_ptr<TConsoleWindow> fWindow;
  std::unique_ptr<TfrmMain> fController;
  TMessageBoxHandler fPreviousBox;
  TErrorBoxGate fErrorBox;
};

}  // namespace tavo
