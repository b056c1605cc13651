#include "platform/Win32MainLoop.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace tavo {
namespace {

using TClock = std::chrono::steady_clock;

// The loop's own messages to its window.
constexpr UINT kPostedMessage = WM_APP + 1;   // run the next posted procedure
constexpr UINT kHandOffMessage = WM_APP + 2;  // run the queued hand-offs
constexpr UINT kStopMessage = WM_APP + 3;     // a console control event came

constexpr wchar_t kWindowClass[] = L"TavoMainLoop";

// As the Qt loop: the longest the main thread runs hand-offs in one go
// before other messages get their turn.
constexpr auto kMainSlice = std::chrono::milliseconds(5);
// ProcessPending's bound.
constexpr int kMaxPendingMessages = 10000;

enum TJobState : int { eWaiting, eRunning, eDone, eAbandoned };

struct TJob {
  const std::function<void()>* Proc = nullptr;
  std::exception_ptr Error;
  std::atomic<int> State{eWaiting};
};

// The window of the loop that watches stop requests; the console's handler
// thread posts to it.
std::atomic<HWND> gStopWindow{nullptr};

BOOL WINAPI ConsoleControlHandler(DWORD aEvent) {
  if (!TakeConsoleControlEvent(aEvent))
    return FALSE;
  // After a close event returns, Windows ends the process at once; held
  // here, the run ends in order while Windows waits (some five seconds).
  // The process's exit ends this thread.
  if (aEvent == CTRL_CLOSE_EVENT)
    ::Sleep(INFINITE);
  return TRUE;
}

LRESULT CALLBACK LoopWindowProc(HWND aWindow, UINT aMessage, WPARAM aW, LPARAM aL);

void RegisterWindowClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = LoopWindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    ::RegisterClassExW(&wc);  // a failure shows when the window is made
  });
}

}  // namespace

struct TWin32MainLoop::TState {
  // The hand-off, shared with the workers.
  std::mutex Mutex;
  std::condition_variable Done;  // a job finished or was abandoned
  std::deque<std::shared_ptr<TJob>> Queue;
  bool bShutdown = false;
  bool bWakePosted = false;  // a hand-off message is on its way
  bool bDraining = false;    // the main thread is taking jobs up right now
  int nRunningJobs = 0;      // ... and runs one, which may open a modal box

  // The main thread's own, without a lock.
  HWND hWindow = nullptr;
  DWORD MainThreadId = 0;
  std::deque<std::function<void()>> Posted;
  bool bPostedWake = false;                           // a posted-procedure message is on its way
  std::map<UINT_PTR, std::function<void()>*> Timers;  // the active ones, by id
  UINT_PTR NextTimerId = 1;
  std::function<void()> OnStop;
  HWND hDialog = nullptr;  // SetDialogWindow's
  bool bRunning = false;
  bool bQuit = false;

  // Under Mutex: every job still queued is given up.
  void AbandonQueued() {
    for (auto& job : Queue)
      job->State = eAbandoned;
    Queue.clear();
    Done.notify_all();
  }

  // Any thread: posts the hand-off message unless one is on its way. A
  // message that cannot be posted (the window gone, the queue full) would
  // leave the jobs waiting for ever: they are given up instead.
  void WakeForHandOffs() {
    {
      std::lock_guard lock(Mutex);
      if (bWakePosted || Queue.empty())
        return;
      bWakePosted = true;
    }
    if (!::PostMessageW(hWindow, kHandOffMessage, 0, 0)) {
      std::lock_guard lock(Mutex);
      bWakePosted = false;
      AbandonQueued();
    }
  }

  void WakeForPosted() {
    if (!bPostedWake && !Posted.empty())
      bPostedWake = ::PostMessageW(hWindow, kPostedMessage, 0, 0) != 0;
  }

  void RunNextPosted() {
    bPostedWake = false;
    if (Posted.empty())
      return;  // dropped with its loop, or already run
    const std::function<void()> proc = std::move(Posted.front());
    Posted.pop_front();
    // The next one's message goes first, so that a Quit here leaves it
    // queued for the next Run.
    WakeForPosted();
    Guarded(proc);
  }

  void RunHandOffs() {
    {
      std::lock_guard lock(Mutex);
      bWakePosted = false;
      bDraining = true;
    }
    const auto sliceEnd = TClock::now() + kMainSlice;
    for (;;) {
      std::shared_ptr<TJob> job;
      {
        std::lock_guard lock(Mutex);
        if (Queue.empty()) {
          bDraining = false;
          return;
        }
        job = std::move(Queue.front());
        Queue.pop_front();
        job->State = eRunning;
        ++nRunningJobs;
      }
      std::exception_ptr error;
      try {
        (*job->Proc)();
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard lock(Mutex);
        --nRunningJobs;
        job->Error = error;
        job->State.store(eDone, std::memory_order_release);
      }
      Done.notify_all();
      if (TClock::now() >= sliceEnd) {
        // Let other messages in; the rest follows with a new message.
        {
          std::lock_guard lock(Mutex);
          bDraining = false;
        }
        WakeForHandOffs();
        return;
      }
    }
  }

  void RunTick(UINT_PTR aId) {
    // A tick of a timer stopped or started again since is not its own.
    const auto it = Timers.find(aId);
    if (it == Timers.end())
      return;
    // A copy: the tick may free its timer.
    const std::function<void()> tick = *it->second;
    Guarded(tick);
  }

  void RunStop() {
    // A copy: the procedure may replace itself.
    const std::function<void()> onStop = OnStop;
    if (onStop)
      Guarded(onStop);
  }

  // Takes one message and dispatches it; false when there was none (or
  // WM_QUIT came, which ends Run as a Quit does). The loop's own timers go
  // before everything else: Windows gives a timer's message only once no
  // posted message waits, and a stream of hand-offs must not hold the
  // check timer back.
  bool PumpOne(bool aWait) {
    MSG msg;
    if (!::PeekMessageW(&msg, hWindow, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      if (aWait) {
        if (::GetMessageW(&msg, nullptr, 0, 0) <= 0)
          return false;
      } else if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) || msg.message == WM_QUIT) {
        return false;
      }
    }
    if (hDialog && msg.hwnd != hWindow && ::IsDialogMessageW(hDialog, &msg))
      return true;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return true;
  }
};

namespace {

LRESULT CALLBACK LoopWindowProc(HWND aWindow, UINT aMessage, WPARAM aW, LPARAM aL) {
  auto* state =
      reinterpret_cast<TWin32MainLoop::TState*>(::GetWindowLongPtrW(aWindow, GWLP_USERDATA));
  if (state) {
    switch (aMessage) {
      case kPostedMessage:
        state->RunNextPosted();
        return 0;
      case kHandOffMessage:
        state->RunHandOffs();
        return 0;
      case kStopMessage:
        state->RunStop();
        return 0;
      case WM_TIMER:
        state->RunTick(aW);
        return 0;
      default:
        break;
    }
  }
  return ::DefWindowProcW(aWindow, aMessage, aW, aL);
}

class TWin32LoopTimer final : public IMainLoopTimer {
 public:
  TWin32LoopTimer(std::shared_ptr<TWin32MainLoop::TState> aState, std::function<void()> aOnTick)
      : fState(std::move(aState)), fOnTick(std::move(aOnTick)) {}
  ~TWin32LoopTimer() override { Stop(); }

  void Start(int aIntervalMs) override {
    Stop();
    // A new id each time: a tick of the old one that Windows still holds
    // does not count for the new.
    const UINT_PTR id = fState->NextTimerId++;
    fiInterval = aIntervalMs;
    if (::SetTimer(fState->hWindow, id, static_cast<UINT>(aIntervalMs), nullptr) == 0) {
      const DWORD e = ::GetLastError();
      throw EOSError("Cannot start a timer (error " + std::to_string(e) + ")", static_cast<int>(e));
    }
    fId = id;
    fState->Timers[id] = &fOnTick;
  }
  void Stop() override {
    if (fId == 0)
      return;
    ::KillTimer(fState->hWindow, fId);
    fState->Timers.erase(fId);
    fId = 0;
  }
  bool Active() const override { return fId != 0; }
  int Interval() const override { return fiInterval; }

 private:
  std::shared_ptr<TWin32MainLoop::TState> fState;
  std::function<void()> fOnTick;
  UINT_PTR fId = 0;  // 0 while stopped
  int fiInterval = 0;
};

}  // namespace

bool TakeConsoleControlEvent(unsigned long aEvent) {
  if (aEvent != CTRL_C_EVENT && aEvent != CTRL_BREAK_EVENT && aEvent != CTRL_CLOSE_EVENT)
    return false;
  const HWND window = gStopWindow.load();
  return window && ::PostMessageW(window, kStopMessage, 0, 0);
}

TWin32MainLoop::TWin32MainLoop() : fState(std::make_shared<TState>()) {
  RegisterWindowClass();
  fState->MainThreadId = ::GetCurrentThreadId();
  fState->hWindow = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr);
  if (!fState->hWindow) {
    const DWORD e = ::GetLastError();
    throw EOSError("Cannot create the main loop's window (error " + std::to_string(e) + ")",
                   static_cast<int>(e));
  }
  ::SetWindowLongPtrW(fState->hWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(fState.get()));
  SetMainThread(this);
}

TWin32MainLoop::~TWin32MainLoop() {
  BeginShutdown();
  // Workers released just now may still be on their way out of Synchronize.
  UninstallMainThread(this);
  HWND window = fState->hWindow;
  gStopWindow.compare_exchange_strong(window, nullptr);
  // Our messages still queued go with the window, so that a later window
  // with a reused handle never gets them.
  ::SetWindowLongPtrW(fState->hWindow, GWLP_USERDATA, 0);
  MSG msg;
  while (::PeekMessageW(&msg, fState->hWindow, 0, 0, PM_REMOVE)) {
  }
  for (const auto& timer : fState->Timers)
    ::KillTimer(fState->hWindow, timer.first);
  fState->Timers.clear();
  ::DestroyWindow(fState->hWindow);
}

void TWin32MainLoop::Post(std::function<void()> aProc) {
  fState->Posted.push_back(std::move(aProc));
  fState->WakeForPosted();
}

std::unique_ptr<IMainLoopTimer> TWin32MainLoop::CreateTimer(std::function<void()> aOnTick) {
  return std::make_unique<TWin32LoopTimer>(fState, std::move(aOnTick));
}

void TWin32MainLoop::Run() {
  TState& s = *fState;
  s.bRunning = true;
  s.bQuit = false;
  while (!s.bQuit && s.PumpOne(true)) {
  }
  s.bRunning = false;
  s.bQuit = false;
}

void TWin32MainLoop::Quit() {
  if (fState->bRunning)
    fState->bQuit = true;
}

void TWin32MainLoop::ProcessPending() {
  for (int i = 0; i < kMaxPendingMessages && fState->PumpOne(false); ++i) {
  }
}

void TWin32MainLoop::SetDialogWindow(void* aWindow) {
  fState->hDialog = static_cast<HWND>(aWindow);
}

bool TWin32MainLoop::WatchStopRequests(std::function<void()> aOnStop) {
  fState->OnStop = std::move(aOnStop);
  static const bool installed = ::SetConsoleCtrlHandler(ConsoleControlHandler, TRUE) != 0;
  if (!installed)
    return false;
  gStopWindow = fState->hWindow;
  return true;
}

void TWin32MainLoop::Synchronize(const std::function<void()>& aProc) {
  // A copy: a job given up at shutdown may outlive the loop.
  const std::shared_ptr<TState> state = fState;
  if (::GetCurrentThreadId() == state->MainThreadId) {
    aProc();
    return;
  }
  auto job = std::make_shared<TJob>();
  job->Proc = &aProc;
  bool wake = false;
  {
    std::lock_guard lock(state->Mutex);
    if (state->bShutdown)
      throw EShutdown();
    state->Queue.push_back(job);
    // A main thread between jobs takes this one up too; one inside a job
    // (perhaps in a modal box's loop) needs the message.
    wake = !state->bDraining || state->nRunningJobs > 0;
  }
  if (wake)
    state->WakeForHandOffs();

  {
    std::unique_lock lock(state->Mutex);
    state->Done.wait(lock, [&] {
      const int jobState = job->State.load(std::memory_order_acquire);
      return jobState == eDone || jobState == eAbandoned;
    });
  }
  if (job->State == eAbandoned)
    throw EShutdown();
  if (job->Error)
    std::rethrow_exception(job->Error);
}

void TWin32MainLoop::BeginShutdown() {
  std::lock_guard lock(fState->Mutex);
  fState->bShutdown = true;
  fState->AbandonQueued();
}

}  // namespace tavo
