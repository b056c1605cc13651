#pragma once
// A client: one monitored application, defined by a configuration section
// "[Client ...]". It owns the message accounts of its section, counts each
// incoming message in the accounts of its id, and at every check cycle
// checks all accounts and runs the command they hand it:
//   "Restart"       ask the program to end, or stop the service; "Start"
//                   becomes pending
//   "Start"         end for good what of the program still runs, then start
//                   it; stays pending until a start succeeds
//   "SystemReboot"  ask for an orderly reboot, once: the pending command is
//                   cleared whether it was accepted or refused
//
// "Executable" is a program file (started through ShellOpener(), ended
// through ProcessControl() with TExecutableMatcher's rule) or else the name
// of a system service (TServiceManager). The handles of the processes asked
// to end are kept with the pending "Start". Rebooting goes through
// RebootSystem; an accepted reboot leaves this process to be stopped in
// order by the system. Tests install fakes for all of these.
//
// Main thread only: trap dispatch, check cycle and console all run there.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "accounting/MessageAccount.h"
#include "config/IniFileIo.h"

namespace tavo {

class IEndingProcess;

class TClient {
 public:
  TClient();
  ~TClient();
  TClient(const TClient&) = delete;
  TClient& operator=(const TClient&) = delete;

  // Reads the section aSection of aIni: "Name", "Executable", "OidMsgId",
  // "OidMsgText", and the account lines as written (quotes kept). true when
  // the client has at least one valid account; errors are emitted, never
  // thrown.
  bool Init(const std::string& aSection, const TOrvoIniFile& aIni);
  // Creates an account for every line whose trimmed name is a 32-bit
  // integer and keeps those whose Init succeeds.
  void LoadMessageAccounts(const TStringList& aLines);
  // Counts a message in every account with that id; other ids are dropped.
  void Increment(std::int32_t aMsgId, const std::string& aText);
  // The accounts' counter lines joined by CR LF.
  std::string ReadCounter() const;
  // One check cycle: all accounts, then the pending command.
  void Check();

  const std::string& Name() const { return FsName; }
  const std::string& Executable() const { return fsExecutable; }
  const std::string& OidMsgId() const { return FsOidMsgId; }
  const std::string& OidMsgText() const { return FsOidMsgText; }
  const std::string& CmdToExe() const { return fsCmdToExe; }
  const std::vector<std::unique_ptr<TMessageAccount>>& MsgAccounts() const { return fMsgAccounts; }

  // The steps of Check, each true on success. ExecuteCommand runs a command
  // and sets the pending one as the command table says.
  bool ExecuteCommand(const std::string& aCommand);
  // Starts the program or service; an empty "Executable" counts as started.
  bool StartClient();
  // Asks every process that runs the program to end and keeps their
  // handles for the next "Start" (true when at least one was found and no
  // request failed), or stops the service.
  bool TerminateClient();

 protected:
  // Makes aCommand the pending command, as an account's would become; for
  // tests of commands that no account hands over.
  void SetCmdToExe(const std::string& aCommand) { fsCmdToExe = aCommand; }

 private:
  std::string FsName;
  std::string fsExecutable;
  std::string FsOidMsgId;
  std::string FsOidMsgText;
  std::string fsCmdToExe;
  std::vector<std::unique_ptr<TMessageAccount>> fMsgAccounts;
  // Processes asked to end by the last "Restart", ended for good before
  // the "Start" that follows it.
  std::vector<std::unique_ptr<IEndingProcess>> fEndingProcesses;
};

}  // namespace tavo
