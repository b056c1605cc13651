#pragma once
// Running processes: a snapshot of them with their executables, ending them
// in two steps, and the rule that decides which of them run a client's
// program.
//
// Ending is asked for first (RequestEnd) and made final later through the
// handle that request gave back (IEndingProcess::EndForGood): on Linux a
// pidfd, SIGTERM first and SIGKILL for what still runs, so the late signal
// can only reach the process that was asked. Windows has no gentle end for
// a program without a window: there the request terminates the process at
// once (TerminateProcess, through a process handle) and the final step
// finds nothing to do. TLinuxProcessControl reads /proc,
// TWin32ProcessControl takes a Toolhelp snapshot; neither lists or ends
// this process. Tests install a recording IProcessControl through
// SetProcessControl, or use the real one only on processes they started
// themselves. Main thread only (the client's check cycle).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavo {

struct TProcessEntry {
  int Pid = 0;
  // Linux: /proc/<pid>/exe, without a " (deleted)" mark. Windows: the
  // executable's file name as the snapshot gives it, without its folder.
  std::string ExePath;
  std::vector<std::string> Args;  // /proc/<pid>/cmdline; empty on Windows
  std::string Cwd;                // /proc/<pid>/cwd; empty when it cannot be read, and on Windows
};

// A process whose end has been asked for. The handle keeps naming that one
// process, whatever pid the system hands out later; it is owned by whoever
// asked, and letting it go leaves the process as it is.
class IEndingProcess {
 public:
  virtual ~IEndingProcess() = default;
  // Ends the process at once if it still runs and waits a moment (at most
  // kEndWaitMs) for it to go. true when it still ran and was ended now.
  virtual bool EndForGood() = 0;

  static constexpr int kEndWaitMs = 1000;
};

struct TEndRequest {
  // 0 when the end was asked for, or the process had gone already; else
  // the errno (Windows: the system error code).
  int Error = 0;
  // The handle for the final step; null when the process had gone or the
  // request failed.
  std::unique_ptr<IEndingProcess> Process;
};

class IProcessControl {
 public:
  virtual ~IProcessControl() = default;
  // Every process whose executable can be read, except this process.
  virtual std::vector<TProcessEntry> Snapshot() = 0;
  // Asks aPid to end (SIGTERM; on Windows it is terminated) and gives back
  // the handle for the final step. This process and pids below 1 are never
  // asked (EPERM; on Windows ERROR_ACCESS_DENIED).
  virtual TEndRequest RequestEnd(int aPid) = 0;
};

#ifdef _WIN32
// CreateToolhelp32Snapshot, OpenProcess and TerminateProcess.
class TWin32ProcessControl final : public IProcessControl {
 public:
  std::vector<TProcessEntry> Snapshot() override;
  TEndRequest RequestEnd(int aPid) override;
};
#else
// pidfd_open and pidfd_send_signal (Linux 5.3 and later; ENOSYS before).
class TLinuxProcessControl final : public IProcessControl {
 public:
  std::vector<TProcessEntry> Snapshot() override;
  TEndRequest RequestEnd(int aPid) override;
};
#endif

// The control in effect: the installed one, else the system's.
IProcessControl& ProcessControl();
// Installs aControl (not owned); nullptr restores the system's.
void SetProcessControl(IProcessControl* aControl);

// This process's id.
int CurrentProcessId();

// Which processes run a given program file (a client's "Executable").
//
// A process matches when the file name part of its executable equals that of
// the program file, ignoring case, wherever the executable lies. The program
// file's name is taken after symbolic links are resolved, since a process's
// executable is the file the link leads to.
//
// A script (a file starting with "#!") runs in its interpreter, whose name
// says nothing about the script: a process of that interpreter matches only
// when the script argument of its command line (the first argument after
// the program that is not an option, resolved against the process's working
// directory) is the same file as the script. Matching an interpreter by its
// name alone never happens.
//
// On Windows the rule is the file name alone, compared as Windows compares
// file names (ordinal, ignoring case); there are no "#!" scripts there.
class TExecutableMatcher {
 public:
  // Reads the program file's first line now; aExecutable relative to our
  // working directory.
  explicit TExecutableMatcher(const std::string& aExecutable);
  bool Matches(const TProcessEntry& aProcess) const;

 private:
  bool IsInterpreter(const TProcessEntry& aProcess) const;
  bool RunsScript(const TProcessEntry& aProcess) const;

  // Which file a path names, whatever the path: the device and inode on
  // POSIX, wide enough for any platform's pair.
  struct TFileIdentity {
    std::uint64_t Volume = 0;
    std::uint64_t Index = 0;
    bool operator==(const TFileIdentity&) const = default;
  };

  std::string fsFileName;         // name part of the program file
  bool fbScript = false;          // a "#!" file whose identity is known
  TFileIdentity fScript;          // the script's identity
  std::string fsInterpreterPath;  // resolved path of the interpreter, may be empty
  std::string fsInterpreterName;  // its name as "#!/usr/bin/env NAME" gives it, may be empty
};

}  // namespace tavo
