#include "WaitFor.h"

#include <thread>

namespace tavo::test {

bool WaitFor(const std::function<bool()>& aDone, std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  for (;;) {
    if (aDone())
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace tavo::test
