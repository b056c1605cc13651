#pragma once
// Starting other programs: detached ones that outlive us, and short tool
// runs whose exit status we wait for. Children start with default signal
// handling and an empty signal mask, whatever this process has set up, and
// with standard input (and, unless captured, output and error) on /dev/null.
//
// On Windows they are started with CreateProcessW and a command line quoted
// so that the program's C runtime gets aArgv back as it was
// (QuotedCommandLine); detached programs get no console and none of our
// handles, tool runs no window and only their standard handles (NUL, or the
// pipe of their captured output). Error codes are the system's there.
//
// Any thread may call these; they block only the calling thread.

#include <string>
#include <vector>

namespace tavo {

// The file a program name runs: a name with "/" as given, any other the
// first regular executable file of that name in PATH. Empty when there is
// none; aError (if given) then holds the errno. On Windows a name with a
// folder (a backslash, "/" or a drive) is taken as given, any other is searched in
// PATH's folders, with ".exe" added when it has no extension.
std::string FindProgram(const std::string& aName, int* aError = nullptr);

// Starts aArgv[0] with the arguments aArgv in a new session, detached: it is
// not our child (no zombie, no wait) and keeps none of our open files. A
// name without "/" is searched in PATH. Returns 0 once the program has been
// executed, or the errno of the failure (exec errors included).
int SpawnDetached(const std::vector<std::string>& aArgv);

struct TRunResult {
  int Error = 0;        // errno when the program could not be run or ETIMEDOUT
  int ExitStatus = -1;  // its exit status, 128 + signal when a signal ended it
  std::string Output;   // its standard output, when asked for (at most 64 KiB)

  bool Succeeded() const { return Error == 0 && ExitStatus == 0; }
};

// Runs aArgv (a name without "/" is searched in PATH) and waits for it at
// most aTimeoutMs; a program that takes longer is killed and the result's
// Error is ETIMEDOUT. With aCaptureOutput its standard output is collected.
TRunResult RunProcess(const std::vector<std::string>& aArgv, int aTimeoutMs,
                      bool aCaptureOutput = false);

#ifdef _WIN32
// The command line that a program's C runtime (and CommandLineToArgvW)
// splits into aArgv again: arguments with blanks or quotes are quoted, their
// quotes and the backslashes before them escaped. The program name is only
// quoted, as Windows reads it up to the next quote.
std::string QuotedCommandLine(const std::vector<std::string>& aArgv);
#endif

}  // namespace tavo
