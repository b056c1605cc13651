#include "Win32Gui.h"

#include <windows.h>

#include <cstdio>
#include <map>

#include "platform/WideText.h"

namespace tavo::test {

bool PumpUntil(TWin32MainLoop& aLoop, const std::function<bool()>& aDone,
               std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  while (!aDone()) {
    if (std::chrono::steady_clock::now() > deadline)
      return aDone();
    aLoop.ProcessPending();
    ::Sleep(5);
  }
  return true;
}

void PumpFor(TWin32MainLoop& aLoop, std::chrono::milliseconds aTime) {
  const auto deadline = std::chrono::steady_clock::now() + aTime;
  while (std::chrono::steady_clock::now() < deadline) {
    aLoop.ProcessPending();
    ::Sleep(5);
  }
}

std::string WindowText(void* aWindow) {
  const HWND w = static_cast<HWND>(aWindow);
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(w)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(::GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
  return WideToUtf8(text);
}

namespace {

std::wstring ClassOf(HWND aWindow) {
  wchar_t name[64] = {};
  ::GetClassNameW(aWindow, name, 64);
  return name;
}

struct TChildSearch {
  const wchar_t* Class;
  std::vector<HWND> Found;
};

BOOL CALLBACK CollectChild(HWND aWindow, LPARAM aSearch) {
  auto* search = reinterpret_cast<TChildSearch*>(aSearch);
  if (::lstrcmpiW(ClassOf(aWindow).c_str(), search->Class) == 0)
    search->Found.push_back(aWindow);
  return TRUE;
}

std::vector<HWND> Children(HWND aWindow, const wchar_t* aClass) {
  TChildSearch search{aClass, {}};
  ::EnumChildWindows(aWindow, CollectChild, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

BOOL CALLBACK FindDialog(HWND aWindow, LPARAM aFound) {
  if (::IsWindowVisible(aWindow) && ClassOf(aWindow) == L"#32770") {
    *reinterpret_cast<HWND*>(aFound) = aWindow;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::vector<std::string> ChildTexts(void* aWindow, const wchar_t* aClass) {
  std::vector<std::string> texts;
  for (HWND child : Children(static_cast<HWND>(aWindow), aClass))
    texts.push_back(WindowText(child));
  return texts;
}

void ClickButton(void* aButton) {
  ::SendMessageW(static_cast<HWND>(aButton), BM_CLICK, 0, 0);
}

struct DialogAnswer::State {
  std::function<void(void*)> Answer;
  std::chrono::steady_clock::time_point Deadline;
  bool bAnswered = false;
  bool bInside = false;
  int nUnexpected = 0;
  std::string Title;
  std::string Text;
};

namespace {

// The thread's timer: its procedure runs inside any message loop of the
// thread, the modal loops of boxes included.
std::map<UINT_PTR, DialogAnswer::State*> gAnswers;

void CALLBACK AnswerTick(HWND, UINT, UINT_PTR aId, DWORD) {
  const auto it = gAnswers.find(aId);
  if (it == gAnswers.end())
    return;
  DialogAnswer::State& state = *it->second;
  if (state.bInside)
    return;
  HWND dialog = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog)
    return;
  const bool late = std::chrono::steady_clock::now() > state.Deadline;
  if (state.bAnswered || late) {
    if (late) {
      ++state.nUnexpected;
      CloseDialog(dialog, false);
    }
    return;
  }
  state.bAnswered = true;
  state.Title = WindowText(dialog);
  for (const std::string& text : ChildTexts(dialog, L"Static")) {
    if (text.empty())
      continue;
    if (!state.Text.empty())
      state.Text += "\n";
    state.Text += text;
  }
  state.bInside = true;
  state.Answer(dialog);
  state.bInside = false;
}

}  // namespace

DialogAnswer::DialogAnswer(std::function<void(void*)> aAnswer, std::chrono::milliseconds aTimeout)
    : fState(std::make_shared<State>()) {
  fState->Answer = std::move(aAnswer);
  fState->Deadline = std::chrono::steady_clock::now() + aTimeout;
  const UINT_PTR id = ::SetTimer(nullptr, 0, 20, AnswerTick);
  gAnswers[id] = fState.get();
}

DialogAnswer::~DialogAnswer() {
  for (auto it = gAnswers.begin(); it != gAnswers.end();) {
    if (it->second == fState.get()) {
      ::KillTimer(nullptr, it->first);
      it = gAnswers.erase(it);
    } else {
      ++it;
    }
  }
}

bool DialogAnswer::Answered() const {
  return fState->bAnswered;
}
int DialogAnswer::Unexpected() const {
  return fState->nUnexpected;
}
std::string DialogAnswer::Title() const {
  return fState->Title;
}
std::string DialogAnswer::Text() const {
  return fState->Text;
}

void CloseDialog(void* aDialog, bool aOk, const std::string* aText) {
  const HWND dialog = static_cast<HWND>(aDialog);
  if (aText) {
    for (HWND edit : Children(dialog, L"Edit"))
      ::SetWindowTextW(edit, Utf8ToWide(*aText).c_str());
  }
  ::PostMessageW(dialog, WM_COMMAND, aOk ? IDOK : IDCANCEL, 0);
}

bool SaveWindowBitmap(void* aWindow, const std::string& aPath) {
  const HWND window = static_cast<HWND>(aWindow);
  RECT r{};
  if (!::GetWindowRect(window, &r))
    return false;
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const HDC screen = ::GetDC(nullptr);
  const HDC dc = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as the file keeps it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap) {
    const HGDIOBJ old = ::SelectObject(dc, bitmap);
    // What the display shows of it, once it and its controls have painted.
    ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // Wine hands what was painted to the display when the thread looks for
    // messages next, not at once.
    for (int i = 0; i < 10; ++i) {
      MSG msg;
      ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
      ::GdiFlush();
      ::Sleep(20);
    }
    ok = ::BitBlt(dc, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != FALSE;
    ::GdiFlush();
    ::SelectObject(dc, old);
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const std::size_t size = stride * static_cast<std::size_t>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + size);
    if (ok) {
      std::FILE* out = ::_wfopen(Utf8ToWide(aPath).c_str(), L"wb");
      ok = out && std::fwrite(&file, sizeof file, 1, out) == 1 &&
           std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
           std::fwrite(bits, 1, size, out) == size;
      if (out)
        ok = std::fclose(out) == 0 && ok;
    }
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace tavo::test
