#include "accounting/Client.h"

#include <optional>

#include "config/SystemUtils.h"
#include "messages/MsgClasses.h"
#include "platform/Files.h"
#include "platform/ProcessControl.h"
#include "platform/ShellOpen.h"
#include "platform/SysServiceManager.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

// Full access to the service manager, as a client asks for it.
constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
// Reboot flag (EWX_REBOOT); RebootSystem adds the force-if-hung bit.
constexpr std::uint16_t kRebootFlag = 0x02;

// Connects to the service manager and opens the client's service; emits the
// error and returns false when either fails.
bool OpenClientService(TServiceManager& aManager, const std::string& aService) {
  if (!aManager.Connect("", "", kScManagerAllAccess)) {
    TMsg::Error("Connect to service manager failed! (%d)", {aManager.LastError()});
    return false;
  }
  if (!aManager.OpenConnection(aService)) {
    TMsg::Error("Access to client \"%s\" failed! (%d)", {aService, aManager.LastError()});
    return false;
  }
  return true;
}

}  // namespace

TClient::TClient() = default;
TClient::~TClient() = default;

bool TClient::Init(const std::string& aSection, const TOrvoIniFile& aIni) {
  FsName = aIni.ReadString(aSection, "Name", "");
  if (FsName.empty()) {
    TMsg::Error("Missing name in \"%s\"", {aSection});
    return false;
  }
  fsExecutable = aIni.ReadString(aSection, "Executable", "");
  FsOidMsgId = aIni.ReadString(aSection, "OidMsgId", "");
  if (FsOidMsgId.empty()) {
    TMsg::Error("Missing OID message ID (OidMsgId ) in \"%s\"", {aSection});
    return false;
  }
  FsOidMsgText = aIni.ReadString(aSection, "OidMsgText", "");
  // Lines as written: the reader's values lose enclosing quotes, which would
  // cut a quoted label or template apart. They come from the reader rather
  // than from a fresh reading of the file, which for a thousand clients
  // would read the file a thousand times.
  TStringList lines;
  aIni.ReadSectionRawValues(aSection, lines);
  LoadMessageAccounts(lines);
  return !fMsgAccounts.empty();
}

void TClient::LoadMessageAccounts(const TStringList& aLines) {
  for (const std::string& line : aLines) {
    const auto eq = line.find('=');
    const std::optional<std::int32_t> id = TryStrToInt(TrimText(line.substr(0, eq)));
    if (!id)
      continue;
    auto account = std::make_unique<TMessageAccount>();
    if (account->Init(this, *id, eq == std::string::npos ? std::string() : line.substr(eq + 1))) {
      fMsgAccounts.push_back(std::move(account));
    }
  }
}

void TClient::Increment(std::int32_t aMsgId, const std::string& aText) {
  for (const auto& account : fMsgAccounts) {
    if (account->Id() == aMsgId)
      account->Increment(aText);
  }
}

std::string TClient::ReadCounter() const {
  std::string text;
  for (std::size_t i = 0; i < fMsgAccounts.size(); ++i) {
    if (i > 0)
      text += "\r\n";
    text += fMsgAccounts[i]->ReadCounter();
  }
  return text;
}

void TClient::Check() {
  std::string cmd;
  for (const auto& account : fMsgAccounts) {
    // Every account runs its own steps; only the first command of a cycle is kept.
    if (account->CheckCondition(cmd) && fsCmdToExe.empty() && !cmd.empty())
      fsCmdToExe = cmd;
  }
  if (!fsCmdToExe.empty())
    ExecuteCommand(std::string(fsCmdToExe));
}

bool TClient::ExecuteCommand(const std::string& aCommand) {
  if (aCommand == "Restart") {
    TMsg::Info("Terminate client \"%s\" to restart...", {FsName});
    const bool result = TerminateClient();
    fsCmdToExe = "Start";  // whatever the result: the next cycle starts it
    return result;
  }
  if (aCommand == "Start") {
    // What did not end on the request a cycle ago is ended now; a retried
    // start finds nothing left to end.
    for (const auto& process : fEndingProcesses)
      process->EndForGood();
    fEndingProcesses.clear();
    TMsg::Info("Start client \"%s\"", {FsName});
    const bool result = StartClient();
    if (result)
      fsCmdToExe.clear();
    return result;
  }
  if (aCommand == "SystemReboot") {
    TMsg::Info("System Reboot");
    // One try per condition: neither an accepted nor a refused request is
    // repeated at the next cycle.
    fsCmdToExe.clear();
    std::string reason;
    if (RebootSystem(kRebootFlag, true, &reason))
      return true;  // the system stops us in order
    TMsg::Error("System reboot refused: %s", {reason});
    return false;
  }
  TMsg::Error("Unknown command \"%s\" ignored!", {aCommand});
  return false;
}

bool TClient::StartClient() {
  if (fsExecutable.empty()) {
    TMsg::Warning("No executeable in client defined!");
    return true;
  }
  if (FileExists(fsExecutable)) {
    const TShellResult r = ShellOpener().Open(fsExecutable);
    if (!r.Success) {
      TMsg::Error("Client start failed: \"%s\" (%d)", {fsExecutable, r.ErrorCode});
      return false;
    }
    return true;
  }
  TServiceManager manager;
  if (!OpenClientService(manager, fsExecutable))
    return false;
  if (!manager.Start()) {
    TMsg::Error("Client \"%s\" start failed! (%d)", {fsExecutable, manager.LastError()});
    return false;
  }
  return true;
}

bool TClient::TerminateClient() {
  if (fsExecutable.empty()) {
    TMsg::Warning("No executeable in client defined!");
    return true;
  }
  if (FileExists(fsExecutable)) {
    const TExecutableMatcher matcher(fsExecutable);
    IProcessControl& control = ProcessControl();
    const int self = CurrentProcessId();
    int outcome = -1;  // nothing found
    for (const TProcessEntry& process : control.Snapshot()) {
      if (process.Pid == self || !matcher.Matches(process))
        continue;
      TEndRequest request = control.RequestEnd(process.Pid);
      if (request.Process)
        fEndingProcesses.push_back(std::move(request.Process));
      const int err = request.Error;
      if (err != 0) {
        outcome = err;
      } else if (outcome == -1) {
        outcome = 0;
      }
    }
    return outcome == 0;
  }
  TServiceManager manager;
  if (!OpenClientService(manager, fsExecutable))
    return false;
  if (!manager.Stop()) {
    TMsg::Error("Client \"%s\" termination failed! (%d)", {fsExecutable, manager.LastError()});
    return false;
  }
  return true;
}

}  // namespace tavo
