#include "shell/Controller.h"

#include <QCoreApplication>
#include <QEvent>
#include <climits>
#include <cstdio>

#include "config/IniFileIo.h"
#include "messages/MsgUtils.h"
#include "recipients/Recipients.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "shell/Guard.h"
#include "shell/RunMode.h"

namespace tavo {

TfrmMain::TfrmMain(IConsole* aConsole, QObject* aParent)
    : QObject(aParent), fConsole(aConsole), fCheckIntervalTimer(this) {
  fCheckIntervalTimer.setSingleShot(false);
  connect(&fCheckIntervalTimer, &QTimer::timeout, this,
          [this] { Guarded([this] { CheckIntervalTimerEvent(&fCheckIntervalTimer); }); });
}

TfrmMain::~TfrmMain() {
  if (fbCreated && !fbDestroyed)
    Guarded([this] { FormDestroy(); });
}

bool TfrmMain::Memo1Visible() const {
  return fConsole && fConsole->LogViewVisible();
}

void TfrmMain::FormCreate(QObject* /*aSender*/) {
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

    QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(kDeferredInitEvent)));
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
}

bool TfrmMain::event(QEvent* aEvent) {
  if (aEvent->type() == static_cast<QEvent::Type>(kDeferredInitEvent)) {
    Guarded([this] { DeferredInit(); });
    return true;
  }
  return QObject::event(aEvent);
}

void TfrmMain::ReadGeneral(const TOrvoIniFile& aIni) {
  const std::int32_t seconds = aIni.ReadInteger("General", "CheckInterval", 10);
  // QTimer takes milliseconds in an int: about 24 days at most.
  constexpr std::int32_t kMaxSeconds = INT_MAX / 1000;
  if (seconds < 0 || seconds > kMaxSeconds) {
    TMsg::Error("Invalid check interval %d: the periodic check is off", {seconds});
    fCheckIntervalTimer.setInterval(0);
    return;
  }
  fCheckIntervalTimer.setInterval(seconds * 1000);
}

void TfrmMain::LoadRecipients(const TOrvoIniFile& aIni) {
  TMsg::Trace("Load recipient(s)...");
  TStringList lines;
  aIni.ReadSectionValues("Recipients", lines);
  TRecipientList::Instance().Init(lines);
}

void TfrmMain::DeferredInit() {
  {
    std::unique_ptr<TOrvoIniFile> ini = TIniFileIo::Instance().Open();
    ReadGeneral(*ini);
    LoadRecipients(*ini);
    if (!fbCheckOnly && Memo1Visible())
      fConsole->FillConsoleLists();
  }
  TMsg::Trace("Initialization done");
  if (!fbCheckOnly && fCheckIntervalTimer.interval() > 0)
    fCheckIntervalTimer.start();
}

void TfrmMain::CheckIntervalTimerEvent(QObject* /*aSender*/) {
  if (fLogFile && fLogFile->IsTimeForBackupCleanUp()) {
    const std::int32_t n = DeleteOldFiles(fLogFile->BackupDir(), fLogFile->BackupRetainDays);
    TMsg::Info("Backup directory cleaned up %d file(s)", {n});
  }
  if (Memo1Visible()) {
    const LocalDateTime now = Clock().Now();
    fConsole->SetLastUpdate(ShortDateText(now) + " " + LongTimeText(now));
  }
}

void TfrmMain::FormDestroy(QObject* /*aSender*/) {
  if (fbDestroyed)
    return;
  fbDestroyed = true;
  fCheckIntervalTimer.stop();
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
  ShowMessageBox(TMsgBoxIcon::Error, aText);
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
  TRecipientList::InstanceRelease();
  dispatcher->OnNewMsg = nullptr;
  TMsgClass::ReleaseSingleton();
  return fbErrorSeen ? 1 : 0;
}

}  // namespace tavo
