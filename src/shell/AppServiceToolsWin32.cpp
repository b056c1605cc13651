// The Windows half of the service host: the service control manager
// (platform/WinService.h) for the registration, the account check and the
// run as a service.
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>

#include "messages/Format.h"
#include "platform/Errors.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProcessUser.h"
#include "platform/SystemLog.h"
#include "platform/TextUtils.h"
#include "platform/WinService.h"
#include "shell/AppServiceTools.h"
#include "shell/Guard.h"

namespace tavo {
namespace {

// How soon a request of the manager is taken up.
constexpr int kRequestPollMs = 50;

// ERROR_INVALID_HANDLE: no status handle, so nothing listens for reports.
constexpr unsigned long kNotConnected = 6;

// Said where a service is heard, whoever started it: under aSource, or
// the executable's name.
void WriteHostError(const std::string& aText, const std::string& aSource = {}) {
  WriteSystemLog(TSysLogLevel::eError, aText, aSource);
  std::fprintf(stderr, "%s\n", aText.c_str());
  std::fflush(stderr);
}

TWinServiceState WinState(TServiceState aState) {
  switch (aState) {
    case TServiceState::eStartPending:
      return TWinServiceState::eStartPending;
    case TServiceState::eRunning:
      return TWinServiceState::eRunning;
    case TServiceState::eStopPending:
      return TWinServiceState::eStopPending;
    case TServiceState::eStopped:
      break;
  }
  return TWinServiceState::eStopped;
}

}  // namespace

std::vector<std::string> EventSourcesOf(const std::string& aName, const std::string& aProgram) {
  return {aName, ExtractFileName(aProgram)};
}

TWinServiceRegistration ServiceRegistrationOf(const std::string& aName,
                                              const std::string& aDisplayName,
                                              const std::string& aProgram,
                                              const std::string& aConfigFile) {
  TWinServiceRegistration reg;
  reg.Name = aName;
  reg.DisplayName = aDisplayName;
  reg.BinaryPath = QuoteServiceArgument(aProgram);
  if (!aConfigFile.empty())
    reg.BinaryPath += " --config " + QuoteServiceArgument(aConfigFile);
  reg.EventSources = EventSourcesOf(aName, aProgram);
  reg.MessageFile = aProgram;
  return reg;
}

bool InstalledServiceRunsAsUs(const std::string& aServiceName) {
  const auto account = WinService().ServiceAccount(aServiceName);
  if (!account)
    return false;
  const std::string user = ProcessUserName();
  return !user.empty() && SameText(user, AccountUserName(*account));
}

void TAppService::InstallRegistration() {
  WinService().Install(ServiceRegistrationOf(fsName, fsDisplayName, ExecutablePath(), ConfigFile));
}

void TAppService::RemoveRegistration() {
  WinService().Uninstall(fsName, EventSourcesOf(fsName, ExecutablePath()));
}

int TAppService::RunAsServiceHost(IMainLoop& aLoop) {
  // From here on an escaping error is an event log entry, not a box.
  SetEscapedErrorHandler(ServiceErrorHandler);
  fbStopGranted = false;
  fState = TServiceState::eStopped;
  IWinService& manager = WinService();
  // The manager's requests arrive on its threads, which may not touch the
  // loop (posting is the main thread's): they queue here, and a timer of
  // the loop takes them. Blocking the manager's thread in a hand-off
  // instead could wait for a loop that has ended.
  struct TInbox {
    std::mutex Mutex;
    std::deque<TWinServiceRequest> Requests;
    unsigned long DispatcherError = 0;
    bool InServiceMain = false;
  };
  const auto inbox = std::make_shared<TInbox>();
  manager.StartDispatcher(
      fsName,
      [inbox](TWinServiceRequest aRequest) {
        std::lock_guard lock(inbox->Mutex);
        inbox->Requests.push_back(aRequest);
      },
      [inbox](unsigned long aError, bool aInServiceMain) {
        std::lock_guard lock(inbox->Mutex);
        inbox->DispatcherError = aError;
        inbox->InServiceMain = aInServiceMain;
      });
  unsigned long dispatcherError = 0;
  const std::unique_ptr<IMainLoopTimer> poll = aLoop.CreateTimer([this, inbox, &dispatcherError] {
    std::deque<TWinServiceRequest> requests;
    bool inServiceMain = false;
    {
      std::lock_guard lock(inbox->Mutex);
      requests.swap(inbox->Requests);
      dispatcherError = inbox->DispatcherError;
      inServiceMain = inbox->InServiceMain;
    }
    for (const TWinServiceRequest request : requests) {
      switch (request) {
        case TWinServiceRequest::eStarted: {
          ReportStatus(TServiceState::eStartPending);
          bool started = false;
          ServiceStart(this, started);
          if (started)
            ReportStatus(TServiceState::eRunning);
          else
            EndServiceLoop();
          break;
        }
        case TWinServiceRequest::eStop:
          Control(TServiceControl::eStop);
          break;
        case TWinServiceRequest::eShutdown:
          Control(TServiceControl::eShutdown);
          break;
        case TWinServiceRequest::eInterrogate:
          Control(TServiceControl::eInterrogate);
          break;
      }
    }
    if (dispatcherError != 0 && !fbStopGranted) {
      // The service main's failure is the service's entry, the dispatcher's
      // the host's.
      if (inServiceMain)
        WriteHostError(Win32ErrorText(kNoControlHandlerText, dispatcherError), fsName);
      else
        WriteHostError(Win32ErrorText(kNoServiceManagerText, dispatcherError));
      EndServiceLoop();
    }
  });
  poll->Start(kRequestPollMs);
  fLoop = &aLoop;
  aLoop.Run();
  fLoop = nullptr;
  poll->Stop();
  // The manager sees the stopped state before the controller's shutdown;
  // the report also lets the dispatcher return.
  ReportStatus(TServiceState::eStopped);
  manager.JoinDispatcher();
  return dispatcherError != 0 ? 1 : 0;
}

void TAppService::ReportStatus(TServiceState aState) {
  fState = aState;
  // A refused report is worth an entry; the service goes on.
  const unsigned long err = WinService().ReportStatus(WinState(aState));
  if (err != 0 && err != kNotConnected)
    WriteServiceLog(Win32ErrorText("Service status report to the service control manager", err),
                    true, fsName);
}

}  // namespace tavo
