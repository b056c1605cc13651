#pragma once
// TfrmMain, the controller: one per process, in every run mode. It owns the
// log file, the client list and the trap receiver, connects the message
// dispatcher to its sink, and brings the system up in two stages:
// FormCreate (configuration, dispatcher, log file, banner; then it posts its
// start-up step 1124 to the main loop) and DeferredInit (when the loop takes
// that step up: [General], recipients, clients, trap receiver, check timer).
// FormDestroy takes everything down in the reverse order; the closing line
// is the last line of the log file.
//
// Main thread only. It runs on the main loop it is given
// (platform/MainLoop.h), which must outlive it; every entry from the loop
// (the start-up step, timer ticks) passes the loop's guard. A start-up step
// still queued when the controller goes is dropped. Without a console
// window the log view does not exist and reads as hidden.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "accounting/Client.h"

#include "messages/LogFile.h"
#include "messages/MsgClasses.h"
#include "platform/MainLoop.h"
#include "shell/Version.h"
#include "snmp/SnmpTrapReceiver.h"

namespace tavo {

class TOrvoIniFile;

// What the controller needs of the console window (desktop mode). The
// console implements it; headless runs have none.
class IConsole {
 public:
  virtual ~IConsole() = default;
  // Memo1's visibility: the desktop-mode marker.
  virtual void SetLogViewVisible(bool aVisible) = 0;
  virtual bool LogViewVisible() const = 0;
  // Appends one line to the log view, which keeps at most 801 lines.
  virtual void AppendLogLine(const std::string& aLine) = 0;
  virtual void SetCaption(const std::string& aCaption) = 0;
  // Fills the recipient and client selectors (once, from DeferredInit).
  virtual void FillConsoleLists() = 0;
  // The last-check label.
  virtual void SetLastUpdate(const std::string& aText) = 0;
};

// The clients: each entry is a client's OidMsgId with the client (owned),
// in the order of their sections in the configuration file.
using TClientList = std::vector<std::pair<std::string, std::unique_ptr<TClient>>>;

class TfrmMain {
 public:
  // The deferred initialisation's name, the message it posts to itself:
  // WM_USER + 100.
  static constexpr int kDeferredInitEvent = 1124;
  static constexpr const char* kCaption = kTavoCaption;

  explicit TfrmMain(IMainLoop& aLoop, IConsole* aConsole = nullptr);
  ~TfrmMain();  // runs FormDestroy if it has not run
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  void FormCreate(void* aSender = nullptr);
  void FormDestroy(void* aSender = nullptr);
  void DeferredInit();
  void NewMsgEvent(TMsgBase* aSender, TMsgId aId, const std::string& aText);
  void CheckIntervalTimerEvent(void* aSender = nullptr);
  // The trap dispatch: the receiver's OnData.
  void TrapReceiverData(TSnmpTrapReceiver* aSender);
  // The receiver thread has ended (its OnDone); aText is its last error.
  void TrapReceiverDone(const std::string& aText);

  // --check: loads the configuration as start-up does with every message
  // line on standard output, starts nothing. Returns the exit status: 0
  // when no Error or Fatal line was printed, 1 otherwise.
  int RunConfigurationCheck();

  // Desktop mode's exception hook: a Fatal line and an error box.
  void ApplicationEvents1Exception(const std::string& aText);

  const std::string& Caption() const { return fsCaption; }
  bool Memo1Visible() const;
  const IMainLoopTimer& CheckIntervalTimer() const { return *fCheckIntervalTimer; }
  // The check interval [General] gave, in milliseconds; 0: manual checks only.
  int CheckInterval() const { return fiCheckInterval; }
  TLogFile* LogFile() const { return fLogFile.get(); }
  TSnmpTrapReceiver* TrapReceiver() const { return fTrapReceiver.get(); }
  const TClientList& Clients() const { return fslClients; }
  // The first client whose OidMsgId equals aOid ignoring case, or nullptr.
  TClient* FindClient(const std::string& aOid) const;

  // Test seam: called with the new receiver before it starts.
  std::function<void(TSnmpTrapReceiver&)> OnTrapReceiverCreated;

 private:
  void SetUpLogFile();
  void WriteLogFileBanner();
  void ReadGeneral(const TOrvoIniFile& aIni);
  void LoadRecipients(const TOrvoIniFile& aIni);
  void LoadClients(const TOrvoIniFile& aIni);
  // Switches the backup clean-up off, with an Error, when the backup folder
  // is one that holds Tavo's own files (once the clients are loaded).
  void CheckBackupCleanUp();
  void FreeClients();
  void StartTrapReceiver(const TOrvoIniFile& aIni);

  IMainLoop& fLoop;
  IConsole* fConsole;  // not owned; none without a window
  std::string fsCaption;
  std::unique_ptr<TLogFile> fLogFile;
  // Not waited for at FormDestroy; joined when the controller goes, after
  // the main thread's shutdown has begun.
  std::unique_ptr<TSnmpTrapReceiver> fTrapReceiver;
  TClientList fslClients;
  // Lower-case OidMsgId to the first client with it: one look-up per binding.
  std::unordered_map<std::string, TClient*> fClientIndex;
  std::unique_ptr<IMainLoopTimer> fCheckIntervalTimer;
  int fiCheckInterval = 0;  // milliseconds
  // Expires with the controller: a start-up step still queued then is dropped.
  std::shared_ptr<char> fLifetime = std::make_shared<char>();
  bool fbCreated = false;           // FormCreate has run
  bool fbDestroyed = false;         // FormDestroy has run
  bool fbCheckOnly = false;         // --check: load, report, start nothing
  bool fbErrorSeen = false;         // --check: an Error or Fatal line was printed
  bool fbBackupCleanUpOff = false;  // the backup folder holds our own files
};

}  // namespace tavo
