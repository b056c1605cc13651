#pragma once
// The operator console: the controller's window in desktop mode. It shows
// every message line in its log view (Memo1), lets the operator send a test
// report to a recipient, turn a password into a passcode, read and bump a
// client's counters and, with the periodic check off, run a check cycle by
// hand. Hints go to the status bar, never to pop-up tips.
//
// The window implements the controller's IConsole seam; the controller is
// attached after both exist (SetController) and must outlive the handlers'
// use of it. Until DeferredInit has filled the selectors the buttons act on
// nothing. Every button handler runs through the guard (shell/Guard.h), so
// an error that escapes one reaches the exception hook and the program goes
// on.
//
// Main thread only. The window owns its controls (Qt parent ownership).

#include <QMainWindow>
#include <cstdint>
#include <string>

#include "shell/Controller.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;

namespace tavo {

class TConsoleWindow final : public QMainWindow, public IConsole {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 624;
  static constexpr int kClientHeight = 381;
  static constexpr int kPanelHeight = 218;

  explicit TConsoleWindow(QWidget* aParent = nullptr);
  ~TConsoleWindow() override;

  // The controller whose clients, timer and check cycle the buttons use.
  void SetController(TfrmMain* aController) { fController = aController; }

  // Shows the window centred on its screen.
  void ShowCentred();

  // IConsole
  void SetLogViewVisible(bool aVisible) override;
  bool LogViewVisible() const override { return fbLogViewVisible; }
  void AppendLogLine(const std::string& aLine) override;
  void SetCaption(const std::string& aCaption) override;
  void FillConsoleLists() override;
  void SetLastUpdate(const std::string& aText) override;

  // The button handlers. They may raise; the buttons call them guarded.
  void btSendReportClick();
  void btEncodePwdClick();
  void btReadCounterClick();
  void btIncMessageClick();
  void btClientCheckClick();

  // The log view's lines, top to bottom.
  std::int32_t LogViewLineCount() const;

  // The controls; each carries its field name as its Qt object name.
  QPlainTextEdit* Memo1;
  QStatusBar* StatusBar1;
  QFrame* Panel1;
  QPushButton* btClientCheck;
  QLabel* Label3;
  QLabel* lblLastUpdate;
  QGroupBox* gbClients;
  QPlainTextEdit* Memo2;
  QComboBox* cboClients;
  QPushButton* btReadCounter;
  QPushButton* btIncMessage;
  QLineEdit* tbClientEventId;
  QGroupBox* gbRecipients;
  QComboBox* cboRecipients;
  QPushButton* btSendReport;
  QPushButton* btEncodePwd;
  QSplitter* Splitter1;

 private:
  void CreateControls();
  // The client at the selector's position, or nullptr when none is selected.
  TClient* SelectedClient() const;
  // Appends to the log view directly, keeping it within its limit.
  void AppendToLogView(const std::string& aText);

  TfrmMain* fController = nullptr;  // not owned
  bool fbLogViewVisible = true;     // Memo1's visibility, the desktop marker
};

}  // namespace tavo
