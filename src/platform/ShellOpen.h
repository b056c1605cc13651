#pragma once
// Opening a file "through the shell", as a client's program is started: an
// executable file is run detached, in a new session, with its standard
// streams on /dev/null; any other file is handed to xdg-open. On Windows
// the shell does both (ShellExecuteExW: a program is started, any other file
// opened with the program associated with its type), never showing an error
// box. Nothing waits for the program.
//
// Tests install a recording IShellOpener through SetShellOpener so that no
// program is started. Main thread only (the client's check cycle).

#include <string>

namespace tavo {

struct TShellResult {
  bool Success = false;
  int ErrorCode = 0;  // errno (Windows: system error code) of the failure; 0 on success
};

class IShellOpener {
 public:
  virtual ~IShellOpener() = default;
  // Opens aFile with the verb "open", no parameters, in our working
  // directory. A relative path is taken relative to that directory.
  virtual TShellResult Open(const std::string& aFile) = 0;
};

#ifdef _WIN32
class TWin32ShellOpener final : public IShellOpener {
 public:
  TShellResult Open(const std::string& aFile) override;
};
#else
class TLinuxShellOpener final : public IShellOpener {
 public:
  TShellResult Open(const std::string& aFile) override;
};
#endif

// The opener in effect: the installed one, else the system's.
IShellOpener& ShellOpener();
// Installs aOpener (not owned); nullptr restores the system's.
void SetShellOpener(IShellOpener* aOpener);

}  // namespace tavo
