#include "platform/MainThread.h"

#include <atomic>

namespace tavo {
namespace {
std::atomic<IMainThread*> gMainThread{nullptr};
}

IMainThread* MainThread() {
  return gMainThread.load(std::memory_order_acquire);
}
void SetMainThread(IMainThread* aMainThread) {
  gMainThread.store(aMainThread, std::memory_order_release);
}

}  // namespace tavo
