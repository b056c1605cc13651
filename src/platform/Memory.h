#pragma once
// Memory the process no longer uses goes back to the system: after a burst
// has filled a queue and drained again, the allocator would otherwise keep
// the high-water mark resident for good.

namespace tavo {

// Returns free heap memory of every allocator arena to the system.
void ReleaseFreeMemory();

}  // namespace tavo
