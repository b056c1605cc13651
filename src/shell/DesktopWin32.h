#pragma once
// Desktop mode on Windows: the console window (shell/ConsoleWin32.h) as the
// program's main window over the controller, on the Win32 main loop.
// TWin32DesktopSession wires the two together and installs the desktop's
// hooks: an error that escapes an event handler goes to the controller's
// exception hook (a Fatal line and an error box), and message boxes are
// modal boxes over the window. One error box at a time: an error that
// escapes while the box is open gets its Fatal line, but no box of its own.
//
// Closing the window ends the loop; the session's end then runs
// FormDestroy, whose closing line is "Application closed". When the
// Windows session ends (WM_ENDSESSION) the process may be ended as soon as
// the window procedure returns, so the end in order runs there.
//
// Main thread only. Windows only. Begin the hand-off's shutdown before the
// session goes (shell/RunScope.h).

#include <memory>

#include "platform/MessageBox.h"
#include "platform/Win32MainLoop.h"
#include "shell/ConsoleActions.h"
#include "shell/ConsoleWin32.h"
#include "shell/Controller.h"

namespace tavo {

class TWin32DesktopSession {
 public:
  explicit TWin32DesktopSession(TWin32MainLoop& aLoop);
  // FormDestroy (its closing line is the last one), then the hooks are
  // removed and the window freed.
  ~TWin32DesktopSession();
  TWin32DesktopSession(const TWin32DesktopSession&) = delete;
  TWin32DesktopSession& operator=(const TWin32DesktopSession&) = delete;

  // FormCreate, then the window is shown centred. The deferred
  // initialisation follows when the loop runs.
  void Start();
  // As the window's close button: the window hides and the loop ends.
  void Close();

  TConsoleWin32& Window() const { return *fWindow; }
  TfrmMain& Controller() const { return *fController; }

 private:
  void ExceptionHook(const std::string& aText);
  void EndSession();

  TWin32MainLoop& fLoop;
  // Declared first: the window outlives the controller, whose closing line
  // still reaches the log view.
  std::unique_ptr<TConsoleWin32> fWindow;
  std::unique_ptr<TfrmMain> fController;
  TMessageBoxHandler fPreviousBox;
  TErrorBoxGate fErrorBox;
};

// tavo.exe's desktop start: the session on a fresh loop until the window
// closes. Returns the exit status.
int RunWin32Desktop();

}  // namespace tavo
