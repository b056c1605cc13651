#pragma once
// A bounded poll, for tests on every platform.

#include <chrono>
#include <functional>

namespace tavo::test {

// Polls aDone every few milliseconds until it is true or aTimeout passes.
bool WaitFor(const std::function<bool()>& aDone, std::chrono::milliseconds aTimeout);

}  // namespace tavo::test
