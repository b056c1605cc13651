#include "shell/DesktopWin32.h"

#include "shell/RunMode.h"
#include "shell/RunScope.h"

namespace tavo {
namespace {

// The boxes' title, as on the Linux desktop.
constexpr const char* kBoxTitle = "Tavo";

}  // namespace

TWin32DesktopSession::TWin32DesktopSession(TWin32MainLoop& aLoop)
    : fLoop(aLoop),
      fWindow(std::make_unique<TConsoleWin32>()),
      fController(std::make_unique<TfrmMain>(aLoop, fWindow.get())) {
  fWindow->SetController(fController.get());
  TConsoleWin32* window = fWindow.get();
  fPreviousBox = SetMessageBoxHandler([window](TMsgBoxIcon aIcon, const std::string& aText) {
    window->Form().ShowBox(aIcon, kBoxTitle, aText);
  });
  SetEscapedErrorHandler([this](const std::string& aText) { ExceptionHook(aText); });
  fWindow->Form().OnClose = [this] { Close(); };
  fWindow->Form().OnEndSession = [this] { EndSession(); };
  fLoop.SetDialogWindow(fWindow->Form().Handle());
}

TWin32DesktopSession::~TWin32DesktopSession() {
  // The controller's closing line may still need the hooks (its sink shows
  // in the window), so they go after it.
  fController.reset();
  fLoop.SetDialogWindow(nullptr);
  SetEscapedErrorHandler(nullptr);
  SetMessageBoxHandler(fPreviousBox);
  fWindow.reset();
}

void TWin32DesktopSession::Start() {
  fController->FormCreate();
  fWindow->ShowCentred();
}

void TWin32DesktopSession::Close() {
  fWindow->Form().Hide();
  fLoop.Quit();
}

void TWin32DesktopSession::ExceptionHook(const std::string& aText) {
  fErrorBox.Report(*fController, aText);
}

void TWin32DesktopSession::EndSession() {
  // Windows may end the process once this returns: workers are released
  // first, then the controller ends in order. Its destructor does not run
  // FormDestroy again.
  fLoop.BeginShutdown();
  fController->FormDestroy();
  fLoop.Quit();
}

int RunWin32Desktop() {
  SetRunMode(TRunMode::eDesktop);
  TWin32MainLoop loop;
  TRunScope scope(loop, true);
  TWin32DesktopSession& session = scope.Hold(std::make_unique<TWin32DesktopSession>(loop));
  // Started from a console, Ctrl+C closes the window.
  loop.WatchStopRequests([&session] { session.Close(); });
  session.Start();
  loop.Run();
  scope.End();
  loop.WatchStopRequests({});
  return 0;
}

}  // namespace tavo
