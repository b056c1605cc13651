#pragma once
// Windows Sockets must be started once in a process before its first socket
// or name look-up: the Win32 halves of the sockets, the network and the name
// look-up call StartWinsock first. Windows only; any thread; started once,
// never cleaned up (the process's end does that). Throws EOSError when the
// system refuses.

namespace tavo {

void StartWinsock();

}  // namespace tavo
