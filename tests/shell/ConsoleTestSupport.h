#pragma once
// The operator console under test: a desktop session (window and real
// controller) over a configuration in a temporary folder, on the real Qt
// event loop with the offscreen platform, plus helpers to spin the loop and
// to answer the modal boxes the console opens.

#include <QApplication>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "shell/Desktop.h"
#include "shell/QtMainLoop.h"

class QWidget;

namespace tavo::test {

// The one application object of a gui test program (offscreen).
TTavoApplication& GuiApplication();

// Runs the event loop until aDone or aTimeout; aDone's last value.
bool Spin(const std::function<bool()>& aDone,
          std::chrono::milliseconds aTimeout = std::chrono::seconds(10));
// Runs the event loop for about aTime.
void SpinFor(std::chrono::milliseconds aTime);

// Answers the next modal box: once a modal widget is up (within aTimeout),
// aAnswer gets it and must close it. Any other modal widget still up after
// aTimeout is closed and counted, so no test waits on a box for ever.
class ModalAnswer {
 public:
  ModalAnswer(std::function<void(QWidget*)> aAnswer,
              std::chrono::milliseconds aTimeout = std::chrono::seconds(10));
  ~ModalAnswer();
  ModalAnswer(const ModalAnswer&) = delete;
  ModalAnswer& operator=(const ModalAnswer&) = delete;

  bool Answered() const { return fState->bAnswered; }
  // Modal widgets closed because nobody answered them.
  int Unexpected() const { return fState->nUnexpected; }
  // The box's window title and its text (a QMessageBox's text, or a
  // QInputDialog's label).
  const QString& Title() const { return fState->Title; }
  const QString& Text() const { return fState->Text; }

  struct State {
    bool bAnswered = false;
    int nUnexpected = 0;
    QString Title;
    QString Text;
  };

 private:
  std::shared_ptr<State> fState;
  std::unique_ptr<QObject> fTimerOwner;
};

// A console over aIni written as tavo.ini in a fresh folder; Start() runs
// FormCreate, shows the window and spins until the deferred initialisation
// has run (or failed).
class ConsoleRun {
 public:
  explicit ConsoleRun(const std::string& aIni);
  ~ConsoleRun();

  // FormCreate and show; spins until "Initialization done" or a Fatal line
  // is in the log view. false when neither came in time.
  bool Start();

  TConsoleWindow& Window() const { return fSession->Window(); }
  TfrmMain& Controller() const { return fSession->Controller(); }
  const TempDir& Dir() const { return fDir; }

  // The log view's lines without their time stamps ("Info:  text"); lines
  // that carry none (the passcode line) as they stand.
  std::vector<std::string> ViewLines() const;
  // How many view lines equal aLine.
  int ViewCount(const std::string& aLine) const;
  // The log file's lines without their time stamps.
  std::vector<std::string> FileLines() const;
  std::string Dump() const;

  // Ends the session as the program does: the hand-off shuts down, then
  // FormDestroy runs. Idempotent; the destructor calls it.
  void Finish();

 private:
  TempDir fDir;
  std::unique_ptr<TQtMainLoop> fMainLoop;
  std::unique_ptr<TDesktopSession> fSession;
};

}  // namespace tavo::test
