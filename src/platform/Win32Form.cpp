#include "platform/Win32Form.h"

#include <windows.h>
// windows.h maps these to their W forms.
#undef MessageBox
// After windows.h, which it needs.
#include <commctrl.h>

#include <map>
#include <mutex>

#include "platform/Errors.h"
#include "platform/MainLoop.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

constexpr wchar_t kPanelClass[] = L"TavoPanel";
constexpr wchar_t kSplitterClass[] = L"TavoSplitter";
constexpr int kFirstControlId = 1000;
// What a drop-down list's window holds besides its selection field: the
// height of the list that opens.
constexpr int kDropDownHeight = 200;
const std::string kNoHint;

LRESULT CALLBACK FormProc(HWND aWindow, UINT aMessage, WPARAM aW, LPARAM aL);
LRESULT CALLBACK SplitterProc(HWND aWindow, UINT aMessage, WPARAM aW, LPARAM aL);

void RegisterClassOnce(const std::wstring& aName, WNDPROC aProc, HCURSOR aCursor) {
  static std::mutex mutex;
  static std::map<std::wstring, bool> done;
  std::lock_guard lock(mutex);
  if (done[aName])
    return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = aProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = aCursor;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  wc.lpszClassName = aName.c_str();
  if (::RegisterClassExW(&wc))
    done[aName] = true;
}

[[noreturn]] void ThrowLastError(const char* aWhat) {
  const DWORD e = ::GetLastError();
  throw EOSError(std::string(aWhat) + " (error " + std::to_string(e) + ")", static_cast<int>(e));
}

std::string WindowText(HWND aWindow) {
  const int length = ::GetWindowTextLengthW(aWindow);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = ::GetWindowTextW(aWindow, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
  return WideToUtf8(text);
}

// Line ends as an edit control wants them: CR LF.
std::wstring EditText(const std::string& aText) {
  std::wstring in = Utf8ToWide(aText), out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == L'\r' || in[i] == L'\n') {
      out += L"\r\n";
      if (in[i] == L'\r' && i + 1 < in.size() && in[i + 1] == L'\n')
        ++i;
    } else {
      out += in[i];
    }
  }
  return out;
}

struct TControl {
  TControlSpec Spec;
  HWND hWindow = nullptr;
  int Id = 0;
  std::function<void()> OnClick;
};

// The input box's state, shared with its dialog procedure.
struct TInputState {
  std::wstring Prompt;
  std::wstring Text;
  HFONT hFont = nullptr;
};

// An in-memory dialog template: the header, then each item on a DWORD
// boundary (DLGTEMPLATE and DLGITEMTEMPLATE).
class TDialogTemplate {
 public:
  TDialogTemplate(DWORD aStyle, short aWidth, short aHeight, const std::wstring& aTitle) {
    Dword(aStyle);
    Dword(0);  // extended style
    fCountAt = fWords.size();
    Word(0);  // items, counted as they come
    Word(0);  // x
    Word(0);  // y
    Word(static_cast<WORD>(aWidth));
    Word(static_cast<WORD>(aHeight));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(aTitle);
    Word(8);  // DS_SETFONT: the point size and face, which DS_SHELLFONT maps
    Text(L"MS Shell Dlg");
  }
  void Item(DWORD aStyle, short aX, short aY, short aWidth, short aHeight, WORD aId, WORD aClass,
            const std::wstring& aText) {
    if (fWords.size() % 2)
      Word(0);
    Dword(aStyle | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Word(static_cast<WORD>(aX));
    Word(static_cast<WORD>(aY));
    Word(static_cast<WORD>(aWidth));
    Word(static_cast<WORD>(aHeight));
    Word(aId);
    Word(0xFFFF);
    Word(aClass);
    Text(aText);
    Word(0);  // no creation data
    ++fWords[fCountAt];
  }
  const DLGTEMPLATE* Data() const { return reinterpret_cast<const DLGTEMPLATE*>(fWords.data()); }

 private:
  void Word(WORD aValue) { fWords.push_back(aValue); }
  void Dword(DWORD aValue) {
    Word(LOWORD(aValue));
    Word(HIWORD(aValue));
  }
  void Text(const std::wstring& aText) {
    for (wchar_t c : aText)
      Word(static_cast<WORD>(c));
    Word(0);
  }
  std::vector<WORD> fWords;
  std::size_t fCountAt = 0;
};

constexpr WORD kInputPromptId = 100;
constexpr WORD kInputEditId = 101;

INT_PTR CALLBACK InputBoxProc(HWND aDialog, UINT aMessage, WPARAM aW, LPARAM aL) {
  auto* state = reinterpret_cast<TInputState*>(::GetWindowLongPtrW(aDialog, DWLP_USER));
  switch (aMessage) {
    case WM_INITDIALOG:
      state = reinterpret_cast<TInputState*>(aL);
      ::SetWindowLongPtrW(aDialog, DWLP_USER, aL);
      ::SetDlgItemTextW(aDialog, kInputPromptId, state->Prompt.c_str());
      ::SetDlgItemTextW(aDialog, kInputEditId, state->Text.c_str());
      return TRUE;  // the focus goes to the edit, the first tab stop
    case WM_COMMAND:
      if (LOWORD(aW) == IDOK || LOWORD(aW) == IDCANCEL) {
        if (LOWORD(aW) == IDOK && state) {
          const HWND edit = ::GetDlgItem(aDialog, kInputEditId);
          state->Text.assign(static_cast<std::size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
          state->Text.resize(static_cast<std::size_t>(
              ::GetWindowTextW(edit, state->Text.data(), static_cast<int>(state->Text.size()))));
        }
        ::EndDialog(aDialog, LOWORD(aW));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

struct TWin32Form::TImpl {
  TWin32Form* Owner = nullptr;
  TFormSpec Spec;
  HWND hWindow = nullptr;
  HWND hStatus = nullptr;
  HFONT hFont = nullptr;
  int Dpi = 96;
  std::vector<std::unique_ptr<TControl>> Controls;
  std::map<std::string, TControl*> ByName;
  std::map<HWND, TControl*> ByHandle;
  std::string StatusText;
  bool bDragging = false;
  int DragOffset = 0;  // where in the splitter it was taken, in pixels

  int Scale(int aValue) const { return ::MulDiv(aValue, Dpi, 96); }
  int Unscale(int aValue) const { return ::MulDiv(aValue, 96, Dpi); }

  TControl& Find(const std::string& aName) const {
    const auto it = ByName.find(aName);
    if (it == ByName.end())
      throw Exception("No control " + aName);
    return *it->second;
  }

  DWORD Style() const {
    // The fixed window does not clip its children: its group boxes sit on
    // it and paint only their frames, the window the area inside them.
    return Spec.Resizable ? WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN
                          : WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  }

  // The system's message font at the window's DPI.
  void MakeFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    HFONT font = nullptr;
    if (::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                     static_cast<UINT>(Dpi)))
      font = ::CreateFontIndirectW(&metrics.lfMessageFont);
    if (!font)
      font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    for (const auto& control : Controls)
      ::SendMessageW(control->hWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (hFont && hFont != ::GetStockObject(DEFAULT_GUI_FONT))
      ::DeleteObject(hFont);
    hFont = font;
  }

  void Create(const std::vector<TControlSpec>& aControls) {
    const std::wstring className = Utf8ToWide(Spec.ClassName.empty() ? "TavoForm" : Spec.ClassName);
    RegisterClassOnce(className, FormProc, ::LoadCursorW(nullptr, IDC_ARROW));
    RegisterClassOnce(kPanelClass, FormProc, ::LoadCursorW(nullptr, IDC_ARROW));
    RegisterClassOnce(kSplitterClass, SplitterProc, ::LoadCursorW(nullptr, IDC_SIZENS));
    hWindow = ::CreateWindowExW(0, className.c_str(), Utf8ToWide(Spec.Caption).c_str(), Style(),
                                CW_USEDEFAULT, CW_USEDEFAULT, Spec.ClientWidth, Spec.ClientHeight,
                                nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!hWindow)
      ThrowLastError("Cannot create the window");
    ::SetWindowLongPtrW(hWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Dpi = static_cast<int>(::GetDpiForWindow(hWindow));
    if (Dpi <= 0)
      Dpi = 96;
    int id = kFirstControlId;
    for (const TControlSpec& spec : aControls)
      AddControl(spec, id++);
    MakeFont();
    SizeToClient();
  }

  void AddControl(const TControlSpec& aSpec, int aId) {
    auto control = std::make_unique<TControl>();
    control->Spec = aSpec;
    control->Id = aId;
    HWND parent = hWindow;
    if (!aSpec.Parent.empty())
      parent = Find(aSpec.Parent).hWindow;
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | (aSpec.Visible ? WS_VISIBLE : 0);
    DWORD exStyle = 0;
    switch (aSpec.Kind) {
      case TControlKind::eButton:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
      case TControlKind::eLabel:
        style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY;
        break;
      case TControlKind::eLabelRight:
        style |= SS_RIGHT | SS_NOPREFIX | SS_NOTIFY;
        break;
      case TControlKind::eGroupBox:
        cls = L"BUTTON";
        style |= BS_GROUPBOX;
        break;
      case TControlKind::eEdit:
      case TControlKind::eDigitsEdit:
      case TControlKind::ePasswordEdit:
        cls = L"EDIT";
        exStyle = WS_EX_CLIENTEDGE;
        style |= ES_AUTOHSCROLL | WS_TABSTOP;
        if (aSpec.Kind == TControlKind::eDigitsEdit)
          style |= ES_NUMBER;
        if (aSpec.Kind == TControlKind::ePasswordEdit)
          style |= ES_PASSWORD;
        break;
      case TControlKind::eLogMemo:
      case TControlKind::eReadOutMemo:
        cls = L"EDIT";
        exStyle = WS_EX_CLIENTEDGE;
        style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL;
        if (aSpec.Kind == TControlKind::eLogMemo)
          style |= WS_HSCROLL;
        break;
      case TControlKind::eDropDownList:
        cls = L"COMBOBOX";
        style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
        break;
      case TControlKind::ePanel:
        cls = kPanelClass;
        style |= WS_CLIPSIBLINGS;
        break;
      case TControlKind::eSplitter:
        cls = kSplitterClass;
        break;
      case TControlKind::eStatusBar:
        cls = STATUSCLASSNAMEW;
        style |= SBARS_SIZEGRIP;
        break;
    }
    if (aSpec.Kind == TControlKind::ePanel)
      exStyle |= WS_EX_CONTROLPARENT;
    control->hWindow = ::CreateWindowExW(
        exStyle, cls, Utf8ToWide(aSpec.Text).c_str(), style, 0, 0, 10, 10, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(aId)), ::GetModuleHandleW(nullptr), nullptr);
    if (!control->hWindow)
      ThrowLastError("Cannot create a control");
    ::SetWindowLongPtrW(control->hWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    switch (aSpec.Kind) {
      case TControlKind::eStatusBar:
        hStatus = control->hWindow;
        ::SendMessageW(hStatus, SB_SIMPLE, TRUE, 0);
        break;
      case TControlKind::ePasswordEdit:
        ::SendMessageW(control->hWindow, EM_SETPASSWORDCHAR, L'*', 0);
        break;
      case TControlKind::eDigitsEdit:
        // Ten digits hold every 32-bit number.
        ::SendMessageW(control->hWindow, EM_SETLIMITTEXT, 10, 0);
        break;
      case TControlKind::eLogMemo:
      case TControlKind::eReadOutMemo:
        // The default limit of a multi-line edit (32K characters) would cut
        // the log view short.
        ::SendMessageW(control->hWindow, EM_SETLIMITTEXT, 0, 0);
        ::SetWindowTextW(control->hWindow, EditText(aSpec.Text).c_str());
        break;
      default:
        break;
    }
    if (!aSpec.Name.empty())
      ByName[aSpec.Name] = control.get();
    ByHandle[control->hWindow] = control.get();
    Controls.push_back(std::move(control));
  }

  // The window's outer size for the designed client area at its DPI.
  void SizeToClient() {
    RECT r{0, 0, Scale(Spec.ClientWidth), Scale(Spec.ClientHeight)};
    ::AdjustWindowRectExForDpi(&r, Style(), FALSE, 0, static_cast<UINT>(Dpi));
    ::SetWindowPos(hWindow, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void Layout() {
    if (hStatus)
      ::SendMessageW(hStatus, WM_SIZE, 0, 0);
    RECT client{};
    ::GetClientRect(hWindow, &client);
    if (Owner->OnLayout)
      Owner->OnLayout(Unscale(client.right), Unscale(client.bottom));
  }

  void SetStatus(const std::string& aText) {
    StatusText = aText;
    if (hStatus)
      ::SendMessageW(hStatus, SB_SETTEXTW, SB_SIMPLEID,
                     reinterpret_cast<LPARAM>(Utf8ToWide(aText).c_str()));
  }

  LRESULT Handle(HWND aWindow, UINT aMessage, WPARAM aW, LPARAM aL) {
    switch (aMessage) {
      case WM_COMMAND:
        if (HIWORD(aW) == BN_CLICKED && aL) {
          const auto it = ByHandle.find(reinterpret_cast<HWND>(aL));
          if (it != ByHandle.end() && it->second->OnClick) {
            const std::function<void()> click = it->second->OnClick;
            Guarded(click);
          }
          return 0;
        }
        break;
      case WM_SETCURSOR: {
        // The hint of the control under the pointer; none over a control
        // without one, or over the window itself.
        const auto it = ByHandle.find(reinterpret_cast<HWND>(aW));
        const std::string& hint = it != ByHandle.end() ? it->second->Spec.Hint : kNoHint;
        if (hint != StatusText)
          SetStatus(hint);
        break;
      }
      case WM_CTLCOLORSTATIC: {
        // Read-only text reads as text, not as a disabled control.
        const auto it = ByHandle.find(reinterpret_cast<HWND>(aL));
        if (it != ByHandle.end() && (it->second->Spec.Kind == TControlKind::eLogMemo ||
                                     it->second->Spec.Kind == TControlKind::eReadOutMemo)) {
          const HDC dc = reinterpret_cast<HDC>(aW);
          ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
          ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
          return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
        // Labels on the window's own face.
        const HDC dc = reinterpret_cast<HDC>(aW);
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      default:
        break;
    }
    if (aWindow != hWindow)  // a panel: the rest is its default
      return ::DefWindowProcW(aWindow, aMessage, aW, aL);
    switch (aMessage) {
      case WM_SIZE:
        Layout();
        return 0;
      case WM_DPICHANGED: {
        Dpi = HIWORD(aW);
        MakeFont();
        const RECT* suggested = reinterpret_cast<const RECT*>(aL);
        ::SetWindowPos(hWindow, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        Layout();
        return 0;
      }
      case WM_CLOSE:
        if (Owner->OnClose) {
          const std::function<void()> close = Owner->OnClose;
          Guarded(close);
        } else {
          ::ShowWindow(hWindow, SW_HIDE);
        }
        return 0;
      case WM_QUERYENDSESSION:
        return TRUE;
      case WM_ENDSESSION:
        if (aW && Owner->OnEndSession) {
          const std::function<void()> end = Owner->OnEndSession;
          Guarded(end);
        }
        return 0;
      default:
        break;
    }
    return ::DefWindowProcW(aWindow, aMessage, aW, aL);
  }

  LRESULT HandleSplitter(HWND aWindow, UINT aMessage, WPARAM aW, LPARAM aL) {
    switch (aMessage) {
      case WM_LBUTTONDOWN:
        ::SetCapture(aWindow);
        bDragging = true;
        DragOffset = static_cast<short>(HIWORD(aL));
        return 0;
      case WM_MOUSEMOVE:
        if (bDragging && Owner->OnSplitterMoved) {
          POINT p{static_cast<short>(LOWORD(aL)), static_cast<short>(HIWORD(aL))};
          ::MapWindowPoints(aWindow, hWindow, &p, 1);
          Owner->OnSplitterMoved(Unscale(p.y - DragOffset));
        }
        return 0;
      case WM_LBUTTONUP:
      case WM_CAPTURECHANGED:
        if (bDragging) {
          bDragging = false;
          if (aMessage == WM_LBUTTONUP)
            ::ReleaseCapture();
        }
        return 0;
      default:
        break;
    }
    return ::DefWindowProcW(aWindow, aMessage, aW, aL);
  }
};

namespace {

LRESULT CALLBACK FormProc(HWND aWindow, UINT aMessage, WPARAM aW, LPARAM aL) {
  auto* impl = reinterpret_cast<TWin32Form::TImpl*>(::GetWindowLongPtrW(aWindow, GWLP_USERDATA));
  if (!impl)
    return ::DefWindowProcW(aWindow, aMessage, aW, aL);
  return impl->Handle(aWindow, aMessage, aW, aL);
}

LRESULT CALLBACK SplitterProc(HWND aWindow, UINT aMessage, WPARAM aW, LPARAM aL) {
  auto* impl = reinterpret_cast<TWin32Form::TImpl*>(::GetWindowLongPtrW(aWindow, GWLP_USERDATA));
  if (!impl)
    return ::DefWindowProcW(aWindow, aMessage, aW, aL);
  return impl->HandleSplitter(aWindow, aMessage, aW, aL);
}

}  // namespace

TWin32Form::TWin32Form(const TFormSpec& aForm, const std::vector<TControlSpec>& aControls)
    : fImpl(std::make_unique<TImpl>()) {
  static const bool commonControls = [] {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    return ::InitCommonControlsEx(&init) != FALSE;
  }();
  (void)commonControls;
  fImpl->Owner = this;
  fImpl->Spec = aForm;
  try {
    fImpl->Create(aControls);
  } catch (...) {
    if (fImpl->hWindow)
      ::DestroyWindow(fImpl->hWindow);
    throw;
  }
}

TWin32Form::~TWin32Form() {
  ::SetWindowLongPtrW(fImpl->hWindow, GWLP_USERDATA, 0);
  for (const auto& control : fImpl->Controls)
    ::SetWindowLongPtrW(control->hWindow, GWLP_USERDATA, 0);
  ::DestroyWindow(fImpl->hWindow);
  if (fImpl->hFont && fImpl->hFont != ::GetStockObject(DEFAULT_GUI_FONT))
    ::DeleteObject(fImpl->hFont);
}

void TWin32Form::Place(const std::string& aName, int aX, int aY, int aWidth, int aHeight) {
  const TControl& c = fImpl->Find(aName);
  if (c.Spec.Kind == TControlKind::eDropDownList)
    aHeight = kDropDownHeight;
  ::SetWindowPos(c.hWindow, nullptr, fImpl->Scale(aX), fImpl->Scale(aY), fImpl->Scale(aWidth),
                 fImpl->Scale(aHeight), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Form::Relayout() {
  fImpl->Layout();
}

void TWin32Form::ShowCentred() {
  const HWND w = fImpl->hWindow;
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ::GetMonitorInfoW(::MonitorFromWindow(w, MONITOR_DEFAULTTOPRIMARY), &info);
  RECT r{};
  ::GetWindowRect(w, &r);
  const RECT& area = info.rcWork;
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  ::SetWindowPos(w, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(w, SW_SHOW);
  ::UpdateWindow(w);
}

void TWin32Form::Hide() {
  ::ShowWindow(fImpl->hWindow, SW_HIDE);
}

bool TWin32Form::Visible() const {
  return ::IsWindowVisible(fImpl->hWindow) != FALSE;
}

void TWin32Form::SetCaption(const std::string& aText) {
  ::SetWindowTextW(fImpl->hWindow, Utf8ToWide(aText).c_str());
}

std::string TWin32Form::Caption() const {
  return WindowText(fImpl->hWindow);
}

std::string TWin32Form::Text(const std::string& aName) const {
  return WindowText(fImpl->Find(aName).hWindow);
}

void TWin32Form::SetText(const std::string& aName, const std::string& aText) {
  ::SetWindowTextW(fImpl->Find(aName).hWindow, EditText(aText).c_str());
}

bool TWin32Form::ControlVisible(const std::string& aName) const {
  return (::GetWindowLongW(fImpl->Find(aName).hWindow, GWL_STYLE) & WS_VISIBLE) != 0;
}

void TWin32Form::SetControlVisible(const std::string& aName, bool aVisible) {
  ::ShowWindow(fImpl->Find(aName).hWindow, aVisible ? SW_SHOW : SW_HIDE);
}

const std::string& TWin32Form::Hint(const std::string& aName) const {
  return fImpl->Find(aName).Spec.Hint;
}

void TWin32Form::SetFocus(const std::string& aName) {
  ::SetFocus(fImpl->Find(aName).hWindow);
}

void TWin32Form::ClearItems(const std::string& aName) {
  ::SendMessageW(fImpl->Find(aName).hWindow, CB_RESETCONTENT, 0, 0);
}

void TWin32Form::AddItem(const std::string& aName, const std::string& aText) {
  const std::wstring text = Utf8ToWide(aText);
  ::SendMessageW(fImpl->Find(aName).hWindow, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(text.c_str()));
}

int TWin32Form::ItemCount(const std::string& aName) const {
  return static_cast<int>(::SendMessageW(fImpl->Find(aName).hWindow, CB_GETCOUNT, 0, 0));
}

std::string TWin32Form::ItemText(const std::string& aName, int aIndex) const {
  const HWND box = fImpl->Find(aName).hWindow;
  const LRESULT length = ::SendMessageW(box, CB_GETLBTEXTLEN, static_cast<WPARAM>(aIndex), 0);
  if (length < 0)
    return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  ::SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(aIndex),
                 reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return WideToUtf8(text);
}

int TWin32Form::ItemIndex(const std::string& aName) const {
  return static_cast<int>(::SendMessageW(fImpl->Find(aName).hWindow, CB_GETCURSEL, 0, 0));
}

void TWin32Form::SetItemIndex(const std::string& aName, int aIndex) {
  ::SendMessageW(fImpl->Find(aName).hWindow, CB_SETCURSEL, static_cast<WPARAM>(aIndex), 0);
}

int TWin32Form::LineCount(const std::string& aName) const {
  const HWND edit = fImpl->Find(aName).hWindow;
  if (::GetWindowTextLengthW(edit) == 0)
    return 0;
  return static_cast<int>(::SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
}

void TWin32Form::AppendLine(const std::string& aName, const std::string& aText) {
  const HWND edit = fImpl->Find(aName).hWindow;
  const int length = ::GetWindowTextLengthW(edit);
  const std::wstring text = (length > 0 ? L"\r\n" : L"") + EditText(aText);
  ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), length);
  ::SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  // The caret at the start of the last line: the view follows the new lines
  // and shows their beginning, not the end of a long one.
  const LRESULT last = ::SendMessageW(
      edit, EM_LINEINDEX, static_cast<WPARAM>(::SendMessageW(edit, EM_GETLINECOUNT, 0, 0) - 1), 0);
  ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(last), last);
  ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

void TWin32Form::DeleteFirstLines(const std::string& aName, int aCount) {
  if (aCount <= 0)
    return;
  const HWND edit = fImpl->Find(aName).hWindow;
  const int lines = static_cast<int>(::SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
  // The start of the first line kept; all of it when none is.
  const LRESULT end = aCount >= lines
                          ? ::GetWindowTextLengthW(edit)
                          : ::SendMessageW(edit, EM_LINEINDEX, static_cast<WPARAM>(aCount), 0);
  ::SendMessageW(edit, EM_SETSEL, 0, end);
  ::SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

std::string TWin32Form::StatusText() const {
  return fImpl->StatusText;
}

void TWin32Form::SetStatusText(const std::string& aText) {
  fImpl->SetStatus(aText);
}

int TWin32Form::Dpi() const {
  return fImpl->Dpi;
}

int TWin32Form::Height96(const std::string& aName) const {
  RECT r{};
  ::GetWindowRect(fImpl->Find(aName).hWindow, &r);
  return fImpl->Unscale(r.bottom - r.top);
}

std::optional<std::string> TWin32Form::InputBox(const std::string& aTitle,
                                                const std::string& aPrompt,
                                                const std::string& aDefault) {
  TDialogTemplate t(
      DS_SETFONT | DS_SHELLFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU,
      186, 64, Utf8ToWide(aTitle));
  t.Item(SS_LEFT | SS_NOPREFIX, 7, 7, 172, 9, kInputPromptId, 0x0082, L"");
  t.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 19, 172, 13, kInputEditId, 0x0081, L"");
  t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 75, 42, 50, 14, IDOK, 0x0080, L"OK");
  t.Item(BS_PUSHBUTTON | WS_TABSTOP, 129, 42, 50, 14, IDCANCEL, 0x0080, L"Cancel");
  TInputState state;
  state.Prompt = Utf8ToWide(aPrompt);
  state.Text = Utf8ToWide(aDefault);
  const INT_PTR result =
      ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), t.Data(), fImpl->hWindow, InputBoxProc,
                                reinterpret_cast<LPARAM>(&state));
  if (result != IDOK)
    return std::nullopt;
  return WideToUtf8(state.Text);
}

void TWin32Form::ShowBox(TMsgBoxIcon aIcon, const std::string& aTitle, const std::string& aText) {
  const UINT icon = aIcon == TMsgBoxIcon::eError     ? MB_ICONERROR
                    : aIcon == TMsgBoxIcon::eWarning ? MB_ICONWARNING
                                                     : MB_ICONINFORMATION;
  ::MessageBoxW(::IsWindowVisible(fImpl->hWindow) ? fImpl->hWindow : nullptr,
                Utf8ToWide(aText).c_str(), Utf8ToWide(aTitle).c_str(), MB_OK | icon);
}

void* TWin32Form::Handle() const {
  return fImpl->hWindow;
}

void* TWin32Form::ControlHandle(const std::string& aName) const {
  return fImpl->Find(aName).hWindow;
}

void TWin32Form::SetOnClick(const std::string& aName, std::function<void()> aHandler) {
  fImpl->Find(aName).OnClick = std::move(aHandler);
}

}  // namespace tavo
