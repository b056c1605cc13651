#include "platform/MainThread.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace tavo {
namespace {

struct TSlot {
  std::mutex Mutex;
  std::condition_variable Left;  // a call left its hand-off
  IMainThread* Installed = nullptr;
  // Calls inside each hand-off; one entry, two while one replaces another.
  std::vector<std::pair<IMainThread*, int>> Inside;

  // Under Mutex.
  auto Find(IMainThread* aMainThread) {
    return std::find_if(Inside.begin(), Inside.end(),
                        [&](const auto& aEntry) { return aEntry.first == aMainThread; });
  }
};

// Never destroyed: a detached worker may still hand over (and be refused)
// while the process runs its exit handlers.
TSlot& Slot() {
  static TSlot* slot = new TSlot;
  return *slot;
}

}  // namespace

IMainThread* MainThread() {
  TSlot& slot = Slot();
  std::lock_guard lock(slot.Mutex);
  return slot.Installed;
}

void SetMainThread(IMainThread* aMainThread) {
  TSlot& slot = Slot();
  std::lock_guard lock(slot.Mutex);
  slot.Installed = aMainThread;
}

void SynchronizeMain(const std::function<void()>& aProc) {
  TSlot& slot = Slot();
  IMainThread* mainThread = nullptr;
  {
    std::lock_guard lock(slot.Mutex);
    mainThread = slot.Installed;
    if (!mainThread)
      throw EShutdown();
    const auto it = slot.Find(mainThread);
    if (it == slot.Inside.end()) {
      slot.Inside.emplace_back(mainThread, 1);
    } else {
      ++it->second;
    }
  }
  // Leaves on every way out, an exception from Synchronize included.
  struct TLeave {
    TSlot& Guard;
    IMainThread* Entered;
    ~TLeave() {
      {
        std::lock_guard lock(Guard.Mutex);
        const auto it = Guard.Find(Entered);
        if (--it->second == 0)
          Guard.Inside.erase(it);
      }
      Guard.Left.notify_all();
    }
  } leave{slot, mainThread};
  mainThread->Synchronize(aProc);
}

void UninstallMainThread(IMainThread* aMainThread) {
  TSlot& slot = Slot();
  std::unique_lock lock(slot.Mutex);
  if (slot.Installed == aMainThread)
    slot.Installed = nullptr;
  slot.Left.wait(lock, [&] { return slot.Find(aMainThread) == slot.Inside.end(); });
}

}  // namespace tavo
