#pragma once
// The main loop (platform/MainLoop.h) on Windows: a message-only window
// whose messages the main thread pumps. Windows only.
//
// Posted procedures wait in the loop's queue and a posted window message
// runs them, one per message, so a Quit leaves the rest queued for the next
// Run; a timer is a SetTimer timer of the window, whose ticks Windows
// gives one at a time, never a pile; stop requests are the console's
// control events (Ctrl+C, Ctrl+Break, closing the console window), which
// the system delivers on a thread of its own and the loop receives as a
// posted message.
//
// The blocking hand-off: a worker's procedure joins a job queue and a
// posted message wakes the main thread to run it; the worker waits until it
// has finished and gets its exception back. Never SendMessageW: a sent
// message cannot be withdrawn, so a worker could not be released at
// shutdown. Since the window's procedure runs inside any message loop of
// the thread, posts, ticks and hand-offs go on inside a modal box's loop.
//
// Create it on the main thread, which must pump no other message loop
// than this one's Run and the modal loops of boxes it opens; free it there,
// after its timers. Installs itself as the process's IMainThread while it
// lives; its destructor begins the shutdown and returns once no worker is
// inside.

#include <functional>
#include <memory>

#include "platform/MainLoop.h"

namespace tavo {

class TWin32MainLoop final : public IMainLoop {
 public:
  // Throws EOSError when the window cannot be made.
  TWin32MainLoop();
  ~TWin32MainLoop() override;
  TWin32MainLoop(const TWin32MainLoop&) = delete;
  TWin32MainLoop& operator=(const TWin32MainLoop&) = delete;

  void Synchronize(const std::function<void()>& aProc) override;
  void Post(std::function<void()> aProc) override;
  std::unique_ptr<IMainLoopTimer> CreateTimer(std::function<void()> aOnTick) override;
  void Run() override;
  void Quit() override;
  // Through SetConsoleCtrlHandler, for every loop of the process the last
  // one that asked. A Ctrl+C or Ctrl+Break that comes while no loop
  // watches (before, or after the loop is gone) ends the process, as by
  // default.
  bool WatchStopRequests(std::function<void()> aOnStop) override;
  void BeginShutdown() override;

  // Handles the messages of the thread that wait now, without waiting for
  // more (a bounded number, so that an entry that posts itself again cannot
  // hold it). Main thread only.
  void ProcessPending();

  // Messages for aWindow (an HWND, a top-level window) and its controls
  // pass IsDialogMessageW first, so that Tab, the arrow keys and Enter work
  // as in a dialog; nullptr: none. Main thread only.
  void SetDialogWindow(void* aWindow);

  struct TState;  // defined in the .cpp; shared with timers and workers

 private:
  std::shared_ptr<TState> fState;
};

// What the console's control handler does with an event (CTRL_C_EVENT,
// ...), any thread: Ctrl+C, Ctrl+Break and the console's close are posted
// as a stop request to the loop that watches them; true then. false for
// other events or while no loop watches: the next handler takes the event,
// in the end the default one, which ends the process. (The handler itself
// then holds a close event's thread, since Windows ends the process when it
// returns.) Tests call it directly: Wine raises no Ctrl+Break or close.
bool TakeConsoleControlEvent(unsigned long aEvent);

}  // namespace tavo
