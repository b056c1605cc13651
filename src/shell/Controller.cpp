#include "shell/Controller.h"

#include <climits>
#include <cstdio>
#include <optional>

#include "config/IniFileIo.h"
#include "config/SystemUtils.h"
#include "messages/MsgUtils.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Network.h"
#include "platform/Paths.h"
#include "platform/TextUtils.h"
#include "recipients/Recipients.h"
#include "shell/Guard.h"
#include "shell/RunMode.h"
#include "shell/SnmpV3Users.h"
#include "snmp/SnmpDefaults.h"
#include "snmp/SnmpEngine.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {

TfrmMain::TfrmMain(IMainLoop& aLoop, IConsole* aConsole) : fLoop(aLoop), fConsole(aConsole) {
  fCheckIntervalTimer =
      aLoop.CreateTimer([this] { CheckIntervalTimerEvent(fCheckIntervalTimer.get()); });
}

TfrmMain::~TfrmMain() {
  if (fbCreated && !fbDestroyed)
    Guarded([this] { FormDestroy(); });
}

bool TfrmMain::Memo1Visible() const {
  return fConsole && fConsole->LogViewVisible();
}

void TfrmMain::FormCreate(void* /*aSender*/) {
  fbCreated = true;
  fsCaption = kCaption;
  if (fConsole)
    fConsole->SetCaption(fsCaption);
  try {
    TIniFileIo& ini = TIniFileIo::Instance();
    ini.Load(ConfigFilePath());

    TMsgClass* dispatcher = TMsgClass::CreateSingleton();
    dispatcher->OnNewMsg = [this](TMsgBase* aSender, TMsgId aId, const std::string& aText) {
      NewMsgEvent(aSender, aId, aText);
    };
    dispatcher->Level = ini.LogLevel();

    SetUpLogFile();
    TMsg::Info(std::string(30, '-'));

    if (IsServiceInstallation()) {
      TMsg::Info("Service installation/deinstallation: " + fsCaption);
      return;
    }
    if (RunAsService()) {
      if (fConsole)
        fConsole->SetLogViewVisible(false);
      TMsg::Info("Service start: " + fsCaption);
    } else {
      if (fConsole)
        fConsole->SetLogViewVisible(true);
      TMsg::Info("Application start: " + fsCaption);
    }
    WriteLogFileBanner();
    TRecipientList::Instance();

    // kDeferredInitEvent: the loop takes it up after what is queued now.
    fLoop.Post([this, alive = std::weak_ptr<char>(fLifetime)] {
      if (!alive.expired())
        DeferredInit();
    });
  } catch (const std::exception& e) {
    TMsg::Fatal(e.what());
    // Without a window nobody reads a Fatal line that could not be written
    // (the log file may be what failed): say it where a service is heard.
    if (RunAsService())
      WriteServiceLog(e.what(), true);
  }
}

void TfrmMain::SetUpLogFile() {
  const TIniFileIo& ini = TIniFileIo::Instance();
  fLogFile = std::make_unique<TLogFile>();
  fLogFile->BufferOn = true;
  fLogFile->FileSize = ini.LogFileSize();
  fLogFile->SetFileName(ini.LogFileName());
  fLogFile->SetReleaseAlways(true);
  if (!ini.LogBackupDir().empty()) {
    fLogFile->SetBackupDir(ini.LogBackupDir());
    fLogFile->BackupRetainDays = ini.LogBackupRetainDays();
  }
}

void TfrmMain::WriteLogFileBanner() {
  TMsg::Info("Log file name: " + fLogFile->FileName());
  if (!fLogFile->BackupDir().empty()) {
    TMsg::Info("Log backup directory: " + fLogFile->BackupDir());
    if (fLogFile->BackupRetainDays > 0) {
      TMsg::Info("Log backup files retain for %d days", {fLogFile->BackupRetainDays});
    }
  }
}

void TfrmMain::NewMsgEvent(TMsgBase* /*aSender*/, TMsgId aId, const std::string& aText) {
  const std::string line = FormatMsgLine(aId, aText, Clock().Now());
  if (fbCheckOnly) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
    if (aId.TypeNo() == eError || aId.TypeNo() == eFatal)
      fbErrorSeen = true;
    return;
  }
  if (fLogFile)
    fLogFile->AppendData(line + "\r\n");
  if (Memo1Visible())
    fConsole->AppendLogLine(line);
  // Told only now that the append has returned: the Error line is appended
  // like any other.
  if (fLogFile) {
    const std::string failure = fLogFile->TakeRotationFailure();
    if (!failure.empty())
      TMsg::Error(failure);
  }
}

void TfrmMain::ReadGeneral(const TOrvoIniFile& aIni) {
  const std::int32_t seconds = aIni.ReadInteger("General", "CheckInterval", 10);
  // The loop's timers take milliseconds in an int: about 24 days at most.
  constexpr std::int32_t kMaxSeconds = INT_MAX / 1000;
  if (seconds < 0 || seconds > kMaxSeconds) {
    TMsg::Error("Invalid check interval %d: the periodic check is off", {seconds});
    fiCheckInterval = 0;
    return;
  }
  fiCheckInterval = seconds * 1000;
}

void TfrmMain::LoadRecipients(const TOrvoIniFile& aIni) {
  TMsg::Trace("Load recipient(s)...");
  TStringList lines;
  aIni.ReadSectionValues("Recipients", lines);
  TRecipientList::Instance().Init(lines);
}

namespace {

// The SNMPv3 protocols of the receiver's user; an unknown name is reported
// and the default is used.
TV3Auth ReadAuthProtocol(const TOrvoIniFile& aIni) {
  const std::string name = aIni.ReadString("SnmpTrapReceiver", "AuthProtocol", "MD5");
  if (const auto mode = AuthProtocolByName(name))
    return *mode;
  TMsg::Error("Unknown AuthProtocol \"%s\" in [SnmpTrapReceiver]: MD5 is used", {name});
  return TV3Auth::AuthMD5;
}

TV3Priv ReadPrivProtocol(const TOrvoIniFile& aIni) {
  const std::string name = aIni.ReadString("SnmpTrapReceiver", "PrivProtocol", "DES");
  if (const auto mode = PrivProtocolByName(name))
    return *mode;
  TMsg::Error("Unknown PrivProtocol \"%s\" in [SnmpTrapReceiver]: DES is used", {name});
  return TV3Priv::PrivDES;
}

// A switch: "1" is on, anything else off.
bool ReadSwitch(const TOrvoIniFile& aIni, const char* aKey) {
  return aIni.ReadString("SnmpTrapReceiver", aKey, "") == "1";
}

// Tavo's engine for SNMPv3 informs, or nothing (with an Error) when it
// cannot be had; then SNMPv3 informs are not answered. A check reads the
// engine file but leaves it as it is.
std::optional<TSnmpEngineState> SetUpEngine(const TOrvoIniFile& aIni, bool aCheckOnly) {
  const std::string text = aIni.ReadString("SnmpTrapReceiver", "EngineId", "");
  std::string configured;
  if (!text.empty()) {
    const std::optional<std::string> id = EngineIdFromText(text);
    if (!id) {
      TMsg::Error(
          "Invalid EngineId \"%s\" in [SnmpTrapReceiver] (5 to 32 octets in hexadecimal): "
          "SNMPv3 informs are not answered",
          {CutReceivedText(text, 80)});
      return std::nullopt;
    }
    configured = *id;
  }
  const std::string path = TIniFileIo::Instance().LogFileName() + ".engine";
  try {
    if (aCheckOnly) {
      std::optional<TSnmpEngineState> state = ReadEngineFile(path);
      if (!state)
        state = TSnmpEngineState{configured.empty() ? NewEngineId() : configured, 0};
      else if (!configured.empty())
        state->EngineId = configured;
      if (state->Boots < kMaxEngineBoots)
        ++state->Boots;  // what a start would take
      return state;
    }
    return StartEngine(path, configured);
  } catch (const std::exception& e) {
    TMsg::Error("SNMP engine file: %s: SNMPv3 informs are not answered", {std::string(e.what())});
    return std::nullopt;
  }
}

}  // namespace

void TfrmMain::StartTrapReceiver(const TOrvoIniFile& aIni) {
  const std::string host = aIni.ReadString("SnmpTrapReceiver", "Host", "127.0.0.1");
  const std::int32_t port = aIni.ReadInteger("SnmpTrapReceiver", "Port", 0);
  if (port < 1) {
    TMsg::Trace("Skip SNMP trap receiver");
    return;
  }
  TMsg::Trace("Initialize SNMP trap receiver");
  if (port > 65535) {
    // Its low 16 bits would be another port than the one configured.
    TMsg::Error("Invalid SNMP trap receiver port %d", {port});
    return;
  }
  const std::string community = aIni.ReadString("SnmpTrapReceiver", "Community", "");
  const std::string user = aIni.ReadString("SnmpTrapReceiver", "UserName", kDefaultTrapUserName);
  const std::string userPwd =
      aIni.ReadString("SnmpTrapReceiver", "UserPassword", kDefaultTrapUserPassword);
  const std::string privPwd =
      aIni.ReadString("SnmpTrapReceiver", "PrivacyPassword", kDefaultTrapPrivacyPassword);
  const TV3Auth auth = ReadAuthProtocol(aIni);
  const TV3Priv priv = ReadPrivProtocol(aIni);
  TStringList userLines;
  aIni.ReadSectionRawValues("SnmpV3Users", userLines);
  std::vector<TTrapUser> moreUsers = LoadSnmpV3Users(userLines);
  std::int32_t timeWindow = aIni.ReadInteger("SnmpTrapReceiver", "TimeWindow", 0);
  if (timeWindow < 0) {
    TMsg::Error("Invalid TimeWindow %d in [SnmpTrapReceiver]: no time window", {timeWindow});
    timeWindow = 0;
  }
  // Every interface unless one local IPv4 address is named.
  const std::string bindAddress = aIni.ReadString("SnmpTrapReceiver", "BindAddress", "");
  if (!bindAddress.empty() && !IsIPv4Address(bindAddress)) {
    TMsg::Error("Invalid BindAddress \"%s\" in [SnmpTrapReceiver]", {bindAddress});
    return;
  }
  const bool acceptV2c = ReadSwitch(aIni, "AcceptV2c");
  const bool answerInforms = ReadSwitch(aIni, "AnswerInforms");
  std::optional<TSnmpEngineState> engine;
  if (answerInforms) {
    engine = SetUpEngine(aIni, fbCheckOnly);
    if (engine) {
      TMsg::Info("SNMP trap receiver answers informs as SNMP engine %s (boots %d)",
                 {HexText(engine->EngineId), engine->Boots});
    } else {
      TMsg::Info("SNMP trap receiver answers SNMPv2c informs only");
    }
  }
  // Everyone who has read the example knows the built-in passwords.
  if (userPwd == kDefaultTrapUserPassword || privPwd == kDefaultTrapPrivacyPassword) {
    TMsg::Warning(
        "SNMP trap receiver uses the built-in SNMPv3 password(s); set UserPassword and "
        "PrivacyPassword in [SnmpTrapReceiver]");
  }
  if (fbCheckOnly) {
    TMsg::Info("SNMP trap receiver would listen on %s:%d", {host, port});
    return;
  }
  fTrapReceiver = std::make_unique<TSnmpTrapReceiver>(host, static_cast<std::uint16_t>(port),
                                                      community, user, userPwd, privPwd);
  fTrapReceiver->AuthMode = auth;
  fTrapReceiver->PrivMode = priv;
  fTrapReceiver->MoreUsers = std::move(moreUsers);
  fTrapReceiver->AcceptV2c = acceptV2c;
  fTrapReceiver->AnswerInforms = answerInforms;
  fTrapReceiver->Engine = engine;
  fTrapReceiver->TimeWindow = timeWindow;
  if (!bindAddress.empty())
    fTrapReceiver->BindAddress = bindAddress;
  fTrapReceiver->OnData = [this](TSnmpTrapReceiver* aSender) { TrapReceiverData(aSender); };
  fTrapReceiver->OnDone = [this](const std::string& aText) { TrapReceiverDone(aText); };
  if (OnTrapReceiverCreated)
    OnTrapReceiverCreated(*fTrapReceiver);
  fTrapReceiver->Start();
  TMsg::Info("SNMP trap receiver listening on %s:%d", {host, port});
}

void TfrmMain::LoadClients(const TOrvoIniFile& aIni) {
  TMsg::Trace("Load client(s)...");
  TStringList sections;
  aIni.ReadSections(sections);
  for (const std::string& section : sections) {
    if (section.rfind("Client ", 0) != 0)
      continue;
    auto client = std::make_unique<TClient>();
    if (!client->Init(section, aIni))
      continue;
    fClientIndex.emplace(LowerAscii(client->OidMsgId()), client.get());
    fslClients.emplace_back(client->OidMsgId(), std::move(client));
  }
}

void TfrmMain::FreeClients() {
  fClientIndex.clear();
  fslClients.clear();
}

TClient* TfrmMain::FindClient(const std::string& aOid) const {
  const auto it = fClientIndex.find(LowerAscii(aOid));
  return it == fClientIndex.end() ? nullptr : it->second;
}

void TfrmMain::TrapReceiverData(TSnmpTrapReceiver* /*aSender*/) {
  const TSnmpTrapReceiver& r = *fTrapReceiver;
  const int n = r.MibCount();
  // An SNMPv2c notification begins with sysUpTime.0 and snmpTrapOID.0,
  // which name no client: the scan and the line that names the first OID
  // start after them.
  int first = 0;
  if (r.Version() == 1) {
    if (first < n && r.MibOid(static_cast<std::uint16_t>(first)) == kSysUpTimeOid)
      ++first;
    if (first < n && r.MibOid(static_cast<std::uint16_t>(first)) == kSnmpTrapOid)
      ++first;
  }
  TClient* client = nullptr;
  std::uint16_t index = 0;
  std::string oid;
  for (int i = first; i < n && !client; ++i) {
    index = static_cast<std::uint16_t>(i);
    oid = r.MibOid(index);
    client = FindClient(oid);
  }
  if (!client) {
    if (r.MibCount() <= first) {
      TMsg::Trace("No MIBs in SNMP trap");
    } else {
      TMsg::Trace("No client configuration with OID \"%s\" and following OIDs found!",
                  {r.MibOid(static_cast<std::uint16_t>(first))});
    }
    return;
  }
  const std::optional<std::int32_t> msgId = TryStrToInt(r.MibValue(oid));
  if (!msgId) {
    TMsg::Error("No message id in MIB: %s!", {r.MibRecord(index)});
    return;
  }
  const std::string text = client->OidMsgText().empty() ? "" : r.MibValue(client->OidMsgText());
  client->Increment(*msgId, text);
}

void TfrmMain::TrapReceiverDone(const std::string& aText) {
  if (!aText.empty()) {
    TMsg::Error("Client SNMP trap receiver closed with: " + aText);
  } else {
    TMsg::Error("Client SNMP trap receiver closed without error.");
  }
}

void TfrmMain::DeferredInit() {
  {
    std::unique_ptr<TOrvoIniFile> ini = TIniFileIo::Instance().Open();
    ReadGeneral(*ini);
    LoadRecipients(*ini);
    LoadClients(*ini);
    CheckBackupCleanUp();
    StartTrapReceiver(*ini);
    if (!fbCheckOnly && Memo1Visible())
      fConsole->FillConsoleLists();
  }
  TMsg::Trace("Initialization done");
  if (!fbCheckOnly && fiCheckInterval > 0)
    fCheckIntervalTimer->Start(fiCheckInterval);
}

void TfrmMain::CheckBackupCleanUp() {
  const TIniFileIo& io = TIniFileIo::Instance();
  if (io.LogBackupDir().empty() || io.LogBackupRetainDays() <= 0)
    return;
  // The clean-up deletes every old file in the folder: not where the
  // configuration, the log, the program or a template lives.
  const std::string backup = RealPath(io.LogBackupDir());
  std::vector<std::string> own = {ExtractFilePath(ConfigFilePath()),
                                  ExtractFilePath(io.LogFileName()),
                                  ExtractFilePath(ExecutablePath())};
  for (const auto& [oid, client] : fslClients) {
    for (const auto& account : client->MsgAccounts()) {
      if (!account->TemplatePath().empty())
        own.push_back(ExtractFilePath(account->TemplatePath()));
    }
  }
  for (const std::string& folder : own) {
    if (!backup.empty() && RealPath(folder) == backup) {
      fbBackupCleanUpOff = true;
      TMsg::Error("Log backup directory %s holds Tavo's own files: old files are not cleaned up",
                  {IncludeTrailingPathDelimiter(io.LogBackupDir())});
      return;
    }
  }
}

void TfrmMain::CheckIntervalTimerEvent(void* /*aSender*/) {
  // The count is taken once: a check cannot add clients, and an error ends
  // the cycle (the guard reports it), the timer goes on.
  const std::size_t count = fslClients.size();
  for (std::size_t i = 0; i < count; ++i)
    fslClients[i].second->Check();
  if (fLogFile && !fbBackupCleanUpOff && fLogFile->IsTimeForBackupCleanUp()) {
    const std::int32_t n = DeleteOldFiles(fLogFile->BackupDir(), fLogFile->BackupRetainDays);
    TMsg::Info("Backup directory cleaned up %d file(s)", {n});
  }
  if (Memo1Visible()) {
    const TLocalDateTime now = Clock().Now();
    fConsole->SetLastUpdate(ShortDateText(now) + " " + LongTimeText(now));
  }
}

void TfrmMain::FormDestroy(void* /*aSender*/) {
  if (fbDestroyed)
    return;
  fbDestroyed = true;
  fCheckIntervalTimer->Stop();
  if (fTrapReceiver) {
    // Nothing that arrives from now on reaches the controller.
    fTrapReceiver->OnData = nullptr;
    fTrapReceiver->OnDone = nullptr;
    fTrapReceiver->Terminate();
  }
  FreeClients();
  TRecipientList::InstanceRelease();
  TMsg::Info(RunAsService() ? "Service closed" : "Application closed");
  if (TMsgClass* dispatcher = TMsgClass::Singleton()) {
    dispatcher->OnNewMsg = nullptr;
    TMsgClass::ReleaseSingleton();
  }
  fLogFile.reset();
}

void TfrmMain::ApplicationEvents1Exception(const std::string& aText) {
  TMsg::Fatal(aText);
  ShowMessageBox(TMsgBoxIcon::eError, aText);
}

int TfrmMain::RunConfigurationCheck() {
  fbCheckOnly = true;
  fbCreated = true;
  fsCaption = kCaption;
  TMsgClass* dispatcher = TMsgClass::CreateSingleton();
  dispatcher->OnNewMsg = [this](TMsgBase* aSender, TMsgId aId, const std::string& aText) {
    NewMsgEvent(aSender, aId, aText);
  };
  dispatcher->Level = eTrace;
  try {
    TIniFileIo& ini = TIniFileIo::Instance();
    ini.Load(ConfigFilePath());
    if (ini.LogLevel() == eDebug)
      dispatcher->Level = eDebug;
    TMsg::Info("Configuration check: " + ConfigFilePath());
    DeferredInit();
  } catch (const std::exception& e) {
    TMsg::Fatal(e.what());
  }
  fbDestroyed = true;
  FreeClients();
  TRecipientList::InstanceRelease();
  dispatcher->OnNewMsg = nullptr;
  TMsgClass::ReleaseSingleton();
  return fbErrorSeen ? 1 : 0;
}

}  // namespace tavo
