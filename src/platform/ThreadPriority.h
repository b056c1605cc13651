#pragma once
// Scheduling priority of the calling thread. A thread that must keep up
// with the network (the trap receiver's reader) asks for a higher one. On
// Linux the request needs the privilege to raise priorities (root,
// CAP_SYS_NICE) and is simply not granted without it; on Windows the nice
// value maps onto the thread priority levels within the process's class
// (-20 .. -10 highest, -9 .. -1 above normal, 0 normal, 1 .. 9 below
// normal, 10 .. 19 lowest), which need no privilege.

namespace tavo {

// Sets the calling thread's nice value (-20 highest .. 19 lowest); true when
// it was granted.
bool SetCurrentThreadNice(int aNice);

}  // namespace tavo
