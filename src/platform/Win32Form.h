#pragma once
// A native window with standard controls, for the two windows of the
// Windows build (the operator console and TavoT's window): the shell and
// the test sender describe their controls and place them; this module makes
// them with the Win32 API and keeps the system's calls to itself. Windows
// only.
//
// Sizes and positions are given in pixels at 96 DPI and scaled to the DPI of
// the monitor the window is on (the programs are per-monitor DPI aware by
// their manifest); every control uses the system's message font at that DPI.
// When the client area or the DPI changes, OnLayout is called again with the
// client size in 96-DPI pixels. A control's hint goes to the status bar
// while the mouse pointer is over it (and goes when the pointer moves to a
// control without one), never to a pop-up tip. Keyboard
// navigation (Tab, the arrow keys, Enter) works as in a dialog when the
// message loop passes the window's messages through
// TWin32MainLoop::SetDialogWindow. Keyboard order is creation order.
//
// Main thread only, the thread that pumps its messages. The form owns its
// window and controls. A click handler runs guarded (platform/MainLoop.h):
// an error that escapes it goes to the run mode's handler. Creating the
// window throws EOSError when the system refuses.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace tavo {

enum class TControlKind {
  eButton,
  eLabel,       // one line of static text, left-aligned
  eLabelRight,  // the same, right-aligned
  eGroupBox,
  eEdit,          // one-line edit
  eDigitsEdit,    // one-line edit that takes digits only
  ePasswordEdit,  // one-line edit that shows '*' for each character
  eLogMemo,       // read-only multi-line text, both scroll bars, no tab stop
  eReadOutMemo,   // read-only multi-line text, vertical scroll bar, no tab stop
  eDropDownList,  // a selector that is not editable
  ePanel,         // a borderless container; its controls are placed inside it
  eSplitter,      // a horizontal bar that the operator drags up and down
  eStatusBar,     // one simple panel at the bottom of the window
};

struct TControlSpec {
  std::string Name;  // unique in the form; empty for a control nobody asks for
  TControlKind Kind = TControlKind::eLabel;
  std::string Text;    // caption or initial text
  std::string Hint;    // for the status bar; empty: none
  std::string Parent;  // the panel it sits in; empty: the window itself
  bool Visible = true;
};

struct TFormSpec {
  std::string Caption;
  int ClientWidth = 0;  // at 96 DPI
  int ClientHeight = 0;
  // false: a single border, no maximise button, the size stays.
  bool Resizable = true;
  std::string ClassName;  // the window class, e.g. "TfrmMain"
};

class TWin32Form {
 public:
  // Makes the window, hidden, and its controls in the order given.
  TWin32Form(const TFormSpec& aForm, const std::vector<TControlSpec>& aControls);
  ~TWin32Form();
  TWin32Form(const TWin32Form&) = delete;
  TWin32Form& operator=(const TWin32Form&) = delete;

  // Places a control, in 96-DPI pixels relative to its parent's client area.
  void Place(const std::string& aName, int aX, int aY, int aWidth, int aHeight);
  // Runs OnLayout for the current client size.
  void Relayout();
  // Shows the window centred on the work area of its monitor.
  void ShowCentred();
  void Hide();
  bool Visible() const;

  void SetCaption(const std::string& aText);
  std::string Caption() const;
  std::string Text(const std::string& aName) const;
  void SetText(const std::string& aName, const std::string& aText);
  bool ControlVisible(const std::string& aName) const;
  void SetControlVisible(const std::string& aName, bool aVisible);
  const std::string& Hint(const std::string& aName) const;
  void SetFocus(const std::string& aName);

  // Selectors.
  void ClearItems(const std::string& aName);
  void AddItem(const std::string& aName, const std::string& aText);
  int ItemCount(const std::string& aName) const;
  std::string ItemText(const std::string& aName, int aIndex) const;
  int ItemIndex(const std::string& aName) const;  // -1: none selected
  void SetItemIndex(const std::string& aName, int aIndex);

  // Multi-line text: the number of lines (an empty one has none), appending
  // aText on a line of its own (CR LF inside end lines), removing lines
  // from the top.
  int LineCount(const std::string& aName) const;
  void AppendLine(const std::string& aName, const std::string& aText);
  void DeleteFirstLines(const std::string& aName, int aCount);

  // The status bar's text.
  std::string StatusText() const;
  void SetStatusText(const std::string& aText);

  // Client size and DPI.
  int Dpi() const;
  // A control's height in 96-DPI pixels as it is now (the status bar sizes
  // itself).
  int Height96(const std::string& aName) const;

  // A modal input box over the window: aTitle, aPrompt above a one-line edit
  // with aDefault, OK and Cancel. The text, or nothing when cancelled.
  std::optional<std::string> InputBox(const std::string& aTitle, const std::string& aPrompt,
                                      const std::string& aDefault);
  // A modal box over the window with one OK button.
  void ShowBox(TMsgBoxIcon aIcon, const std::string& aTitle, const std::string& aText);

  // The window's and a control's handle (HWND), for the message loop and
  // for tests that drive the window through its messages.
  void* Handle() const;
  void* ControlHandle(const std::string& aName) const;

  // Events, set by the owner.
  std::function<void(int aClientWidth96, int aClientHeight96)> OnLayout;
  // The splitter was dragged: the new top of the splitter in 96-DPI pixels.
  std::function<void(int aTop96)> OnSplitterMoved;
  // The window is asked to close (its close button, Alt+F4, WM_CLOSE); the
  // handler decides. Without one the window hides.
  std::function<void()> OnClose;
  // The session ends (WM_ENDSESSION with wParam true): the process may end
  // as soon as the handler returns.
  std::function<void()> OnEndSession;
  void SetOnClick(const std::string& aName, std::function<void()> aHandler);

  struct TImpl;

 private:
  std::unique_ptr<TImpl> fImpl;
};

}  // namespace tavo
