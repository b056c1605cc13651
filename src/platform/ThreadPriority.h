#pragma once
// Scheduling priority of the calling thread. A thread that must keep up
// with the network (the trap receiver's reader) asks for a higher one; the
// request needs the privilege to raise priorities (root, CAP_SYS_NICE) and
// is simply not granted without it.

namespace tavo {

// Sets the calling thread's nice value (-20 highest .. 19 lowest); true when
// it was granted.
bool SetCurrentThreadNice(int aNice);

}  // namespace tavo
