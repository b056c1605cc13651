#include "shell/ConsoleActions.h"

#include <optional>

#include "accounting/Client.h"
#include "config/RC4Coder.h"
#include "messages/Format.h"
#include "messages/MsgClasses.h"
#include "platform/Clock.h"
#include "platform/TextUtils.h"
#include "recipients/Recipients.h"
#include "shell/Controller.h"

namespace tavo {

std::int32_t LogViewExcess(std::int32_t aViewLines, const std::string& aText) {
  std::int32_t lines = 1;
  for (std::size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] == '\r' || aText[i] == '\n') {
      if (aText[i] == '\r' && i + 1 < aText.size() && aText[i + 1] == '\n')
        ++i;
      ++lines;
    }
  }
  // Room is made first, so the view never holds more than the limit plus
  // the new text.
  const std::int32_t excess = aViewLines + lines - 1 - kLogViewKeepLines;
  return excess > 0 ? excess : 0;
}

std::vector<std::string> RecipientNames() {
  std::vector<std::string> names;
  for (const std::string& name : SplitTextLines(TRecipientList::Instance().ListNames())) {
    if (!name.empty())
      names.push_back(name);
  }
  return names;
}

bool ManualCheckShown(const TfrmMain* aController) {
  return aController && aController->CheckInterval() == 0;
}

void SendTestReport(const std::string& aRecipient, const std::string& aCaption) {
  TMsg::Info("Send test report to \"%s\"...", {aRecipient});
  const TLocalDateTime now = Clock().Now();
  const std::string report =
      Format("%s <%s>\r\nSend timestamp %s\r\nFrom %s",
             {"Test Report", aRecipient, ShortDateText(now) + " " + LongTimeText(now), aCaption});
  TRecipientList::Instance().Report(aRecipient, report);
  TMsg::Info("...done");
}

std::string PasscodeLine(const std::string& aPassword) {
  return "Encoded Password - Passcode=" + EncodePasscode(aPassword);
}

TClient* ClientAt(const TfrmMain* aController, int aIndex) {
  if (aIndex < 0 || !aController)
    return nullptr;
  const TClientList& clients = aController->Clients();
  // The list is filled once, but never trust a stale selector with an index.
  if (static_cast<std::size_t>(aIndex) >= clients.size())
    return nullptr;
  return clients[static_cast<std::size_t>(aIndex)].second.get();
}

std::string CounterHeading(const std::string& aName) {
  return Format("Client \"%s\" counter ...", {aName});
}

void SimulateClientEvent(TClient& aClient, const std::string& aName, const std::string& aIdText) {
  const std::optional<std::int32_t> id = TryStrToInt(aIdText);
  if (!id)
    return;
  TMsg::Info("Simulate client event: \"%s-%d\"...", {aName, *id});
  aClient.Increment(*id, "Manual message increment");
  TMsg::Info("...done");
}

void RunManualClientCheck(TfrmMain* aController) {
  TMsg::Info("Run manual client check...");
  if (aController)
    aController->CheckIntervalTimerEvent(nullptr);
}

void TErrorBoxGate::Report(TfrmMain& aController, const std::string& aText) {
  if (fbOpen) {
    TMsg::Fatal(aText);
    return;
  }
  fbOpen = true;
  struct TResetOnExit {
    bool& Flag;
    ~TResetOnExit() { Flag = false; }
  } reset{fbOpen};
  aController.ApplicationEvents1Exception(aText);
}

}  // namespace tavo
