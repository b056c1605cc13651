#pragma once
// Stop requests from outside (SIGINT, SIGTERM) as a handle the event loop
// watches: the signal handler only writes a byte to it, since nothing else
// is safe there. Main thread only; install once per process.

namespace tavo {

// Routes SIGINT and SIGTERM to the handle and returns it; -1 when it could
// not be set up (the signals then keep their default action).
int InstallStopSignalHandle();
// Takes what the signals wrote, once the handle has become readable.
void DrainStopSignalHandle();

// A write to a connection its peer has closed fails with an error instead
// of ending the process.
void IgnoreBrokenPipes();

}  // namespace tavo
