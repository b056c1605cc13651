#pragma once
// The operator console on Windows: the controller's window in desktop mode,
// a native window (platform/Win32Form.h) with the controls and behaviour of
// the console on Linux (shell/ConsoleWindow.h). It shows every message line
// in its log view (Memo1), lets the operator send a test report to a
// recipient, turn a password into a passcode, read and bump a client's
// counters and, with the periodic check off, run a check cycle by hand.
// Hints go to the status bar.
//
// It implements the controller's IConsole seam; the controller is attached
// after both exist (SetController) and must outlive the handlers' use of
// it. Every button handler runs guarded, so an error that escapes one
// reaches the exception hook and the program goes on.
//
// Main thread only. Windows only.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Win32Form.h"
#include "shell/Controller.h"

namespace tavo {

class TConsoleWin32 final : public IConsole {
 public:
  static constexpr int kClientWidth = 624;
  static constexpr int kClientHeight = 381;
  static constexpr int kPanelHeight = 218;
  static constexpr int kSplitterHeight = 3;

  // Makes the window, hidden. Throws EOSError when it cannot be made.
  TConsoleWin32();
  ~TConsoleWin32() override;

  void SetController(TfrmMain* aController) { fController = aController; }
  void ShowCentred() { fForm->ShowCentred(); }
  TWin32Form& Form() const { return *fForm; }

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

  std::int32_t LogViewLineCount() const;
  // Panel1's height in 96-DPI pixels: 218 until the splitter moves.
  int PanelHeight() const { return fiPanelHeight; }

 private:
  void Layout(int aWidth, int aHeight);
  TClient* SelectedClient() const;
  void AppendToLogView(const std::string& aText);

  std::unique_ptr<TWin32Form> fForm;
  TfrmMain* fController = nullptr;  // not owned
  bool fbLogViewVisible = true;
  int fiPanelHeight = kPanelHeight;
  int fiClientHeight = kClientHeight;  // the last layout's, 96-DPI pixels
};

}  // namespace tavo
