#pragma once
// Helpers for tests that drive a native window under Wine (with a virtual
// display): pumping the main loop until a condition holds, answering the
// modal boxes a window opens (message boxes and input boxes), and writing a
// window's pixels to a bitmap file. Windows only; main thread only.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Win32MainLoop.h"

namespace tavo::test {

// Pumps aLoop until aDone or aTimeout; aDone's last value.
bool PumpUntil(TWin32MainLoop& aLoop, const std::function<bool()>& aDone,
               std::chrono::milliseconds aTimeout = std::chrono::seconds(10));
void PumpFor(TWin32MainLoop& aLoop, std::chrono::milliseconds aTime);

// A window's text (HWND as void*), and its texts in the order of its
// children: what a box shows.
std::string WindowText(void* aWindow);
std::vector<std::string> ChildTexts(void* aWindow, const wchar_t* aClass);

// Sends a button a click (BM_CLICK), as the mouse does.
void ClickButton(void* aButton);

// Answers the next modal dialog of this thread (a message box or an input
// box): once one is up (within aTimeout), aAnswer gets its handle and must
// close it, e.g. with CloseDialog. A dialog still up after aTimeout that
// nobody answered is closed and counted, so no test waits for ever.
class DialogAnswer {
 public:
  explicit DialogAnswer(std::function<void(void*)> aAnswer,
                        std::chrono::milliseconds aTimeout = std::chrono::seconds(10));
  ~DialogAnswer();
  DialogAnswer(const DialogAnswer&) = delete;
  DialogAnswer& operator=(const DialogAnswer&) = delete;

  bool Answered() const;
  int Unexpected() const;
  // The dialog's title and the texts of its static controls, joined by "\n".
  std::string Title() const;
  std::string Text() const;

  struct State;

 private:
  std::shared_ptr<State> fState;
};

// Ends a dialog with IDOK (true) or IDCANCEL, after putting aText into its
// edit control when it has one and aText is given.
void CloseDialog(void* aDialog, bool aOk, const std::string* aText = nullptr);

// Writes aWindow's pixels as the display shows them, frame and caption
// included, as a 24-bit bitmap file. false when they cannot be read or
// written.
bool SaveWindowBitmap(void* aWindow, const std::string& aPath);

}  // namespace tavo::test
