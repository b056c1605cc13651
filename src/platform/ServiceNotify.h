#pragma once
// Status reports to the service manager that started us: systemd's notify
// protocol (Type=notify). systemd passes the socket in NOTIFY_SOCKET (a
// path, or "@name" in the abstract namespace); a process started any other
// way has none.
//
// Any thread may call these.

#include <string>

namespace tavo {

// true when NOTIFY_SOCKET is set: the service manager started this process
// and waits for its reports.
bool StartedByServiceManager();

// Sends aState, newline-separated assignments such as "READY=1",
// "STOPPING=1" or "STATUS=text". Returns 0 when it was sent, ENOTCONN when
// no service manager listens (NOTIFY_SOCKET unset), EINVAL for a name
// that is neither, or the errno of the failed send.
int NotifyServiceManager(const std::string& aState);

// How often the service manager wants a keep-alive ("WATCHDOG=1"), in
// milliseconds: a third of WATCHDOG_USEC, when it is set and WATCHDOG_PID
// (if set) names this process; 0 when it wants none.
int WatchdogIntervalMs();

}  // namespace tavo
