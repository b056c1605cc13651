#include "shell/ConsoleWin32.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "accounting/Client.h"
#include "shell/ConsoleActions.h"

namespace tavo {
namespace {

using K = TControlKind;

// The controls in the order of their fields; each carries its field name.
std::vector<TControlSpec> ConsoleControls() {
  return {
      {"Memo1", K::eLogMemo, "", "", "", true},
      {"StatusBar1", K::eStatusBar, "", "", "", true},
      {"Panel1", K::ePanel, "", "", "", true},
      {"btClientCheck", K::eButton, "Manual Client Check", "Run manual client check", "Panel1",
       false},
      {"Label3", K::eLabel, "Last Check:", "", "Panel1", true},
      {"lblLastUpdate", K::eLabel, "Timestamp of the last update", "", "Panel1", true},
      {"gbClients", K::eGroupBox, "Clients", "", "Panel1", true},
      {"Memo2", K::eReadOutMemo, "Read client counters by button [Read Counters]", "", "Panel1",
       true},
      {"cboClients", K::eDropDownList, "", "List of defined clients", "Panel1", true},
      {"btReadCounter", K::eButton, "Read Counters", "Read selected clients message counter(s)",
       "Panel1", true},
      {"btIncMessage", K::eButton, "Increment Message",
       "Increment selected clients message counter", "Panel1", true},
      {"tbClientEventId", K::eDigitsEdit, "10", "Message ID", "Panel1", true},
      {"gbRecipients", K::eGroupBox, "Recipients", "", "Panel1", true},
      {"cboRecipients", K::eDropDownList, "", "List of defined recipients", "Panel1", true},
      {"btSendReport", K::eButton, "Send Test Report", "Send test report to selected receipient",
       "Panel1", true},
      {"btEncodePwd", K::eButton, "Password Encoder", "Encode password to passcode", "Panel1",
       true},
      {"Splitter1", K::eSplitter, "", "", "", true},
  };
}

// The log view keeps at least this much room below the splitter.
constexpr int kMinLogViewHeight = 40;
constexpr int kMinPanelHeight = 120;

}  // namespace

TConsoleWin32::TConsoleWin32()
    : fForm(std::make_unique<TWin32Form>(
          TFormSpec{"", kClientWidth, kClientHeight, true, "TfrmMain"}, ConsoleControls())) {
  TWin32Form& f = *fForm;
  f.OnLayout = [this](int aWidth, int aHeight) { Layout(aWidth, aHeight); };
  f.OnSplitterMoved = [this](int aTop) {
    fiPanelHeight = std::clamp(aTop, kMinPanelHeight,
                               std::max(kMinPanelHeight, fiClientHeight - kMinLogViewHeight));
    fForm->Relayout();
  };
  f.SetOnClick("btSendReport", [this] { btSendReportClick(); });
  f.SetOnClick("btEncodePwd", [this] { btEncodePwdClick(); });
  f.SetOnClick("btReadCounter", [this] { btReadCounterClick(); });
  f.SetOnClick("btIncMessage", [this] { btIncMessageClick(); });
  f.SetOnClick("btClientCheck", [this] { btClientCheckClick(); });
  f.Relayout();
}

TConsoleWin32::~TConsoleWin32() = default;

void TConsoleWin32::Layout(int aWidth, int aHeight) {
  TWin32Form& f = *fForm;
  fiClientHeight = aHeight;
  const int status = f.Height96("StatusBar1");
  const int panel = fiPanelHeight;
  const int w = aWidth;
  f.Place("Panel1", 0, 0, w, panel);
  f.Place("Splitter1", 0, panel, w, kSplitterHeight);
  const int logTop = panel + kSplitterHeight;
  f.Place("Memo1", 0, logTop, w, std::max(0, aHeight - status - logTop));

  // Panel1, top to bottom: the recipients, the clients (which take what the
  // panel gains), the last-check row.
  constexpr int kButton = 116;  // width of the wide buttons
  constexpr int kGap = 6;
  constexpr int kRowHeight = 25;
  const int inner = w - 8;
  f.Place("gbRecipients", 4, 2, inner, 54);
  f.Place("cboRecipients", 14, 22, inner - 20 - 2 * (kButton + kGap), 23);
  f.Place("btSendReport", inner - 6 - 2 * kButton - kGap, 21, kButton, kRowHeight);
  f.Place("btEncodePwd", inner - 6 - kButton, 21, kButton, kRowHeight);

  const int checkRow = panel - 30;
  const int clientsBottom = checkRow - 2;
  f.Place("gbClients", 4, 58, inner, clientsBottom - 58);
  constexpr int kIdWidth = 48;
  f.Place("cboClients", 14, 78, inner - 20 - 2 * (kButton + kGap) - (kIdWidth + kGap), 23);
  f.Place("btReadCounter", inner - 6 - kIdWidth - kGap - 2 * kButton - kGap, 77, kButton,
          kRowHeight);
  f.Place("btIncMessage", inner - 6 - kIdWidth - kGap - kButton, 77, kButton, kRowHeight);
  f.Place("tbClientEventId", inner - 6 - kIdWidth, 78, kIdWidth, 23);
  f.Place("Memo2", 14, 108, inner - 20, std::max(20, clientsBottom - 8 - 108));

  f.Place("Label3", 8, checkRow + 7, 72, 17);
  f.Place("lblLastUpdate", 82, checkRow + 7, std::max(60, w - 82 - 160), 17);
  f.Place("btClientCheck", w - 8 - 150, checkRow + 2, 150, kRowHeight);
}

void TConsoleWin32::SetLogViewVisible(bool aVisible) {
  fbLogViewVisible = aVisible;
  fForm->SetControlVisible("Memo1", aVisible);
}

void TConsoleWin32::SetCaption(const std::string& aCaption) {
  fForm->SetCaption(aCaption);
}

void TConsoleWin32::SetLastUpdate(const std::string& aText) {
  fForm->SetText("lblLastUpdate", aText);
}

std::int32_t TConsoleWin32::LogViewLineCount() const {
  return fForm->LineCount("Memo1");
}

void TConsoleWin32::AppendLogLine(const std::string& aLine) {
  AppendToLogView(aLine);
}

void TConsoleWin32::AppendToLogView(const std::string& aText) {
  const std::int32_t excess = LogViewExcess(LogViewLineCount(), aText);
  if (excess > 0)
    fForm->DeleteFirstLines("Memo1", excess);
  fForm->AppendLine("Memo1", aText);
}

void TConsoleWin32::FillConsoleLists() {
  TWin32Form& f = *fForm;
  f.ClearItems("cboRecipients");
  for (const std::string& name : RecipientNames())
    f.AddItem("cboRecipients", name);
  if (f.ItemCount("cboRecipients") > 0)
    f.SetItemIndex("cboRecipients", 0);

  // Position k in the selector is position k in the client list.
  f.ClearItems("cboClients");
  if (fController) {
    for (const auto& entry : fController->Clients())
      f.AddItem("cboClients", entry.second->Name());
  }
  if (f.ItemCount("cboClients") > 0)
    f.SetItemIndex("cboClients", 0);

  f.SetControlVisible("btClientCheck", ManualCheckShown(fController));
}

void TConsoleWin32::btSendReportClick() {
  const int index = fForm->ItemIndex("cboRecipients");
  SendTestReport(index < 0 ? std::string() : fForm->ItemText("cboRecipients", index),
                 fController ? fController->Caption() : fForm->Caption());
}

void TConsoleWin32::btEncodePwdClick() {
  const std::optional<std::string> password =
      fForm->InputBox("Password Encoder ", "Enter Password", "");
  if (!password || password->empty())
    return;
  fForm->SetText("Memo1", "");
  // Straight into the view: no time stamp, and never into the log file.
  AppendToLogView(PasscodeLine(*password));
}

TClient* TConsoleWin32::SelectedClient() const {
  return ClientAt(fController, fForm->ItemIndex("cboClients"));
}

void TConsoleWin32::btReadCounterClick() {
  TClient* client = SelectedClient();
  if (!client)
    return;
  fForm->SetText("Memo2",
                 CounterHeading(fForm->ItemText("cboClients", fForm->ItemIndex("cboClients"))));
  fForm->AppendLine("Memo2", client->ReadCounter());
}

void TConsoleWin32::btIncMessageClick() {
  TClient* client = SelectedClient();
  if (!client)
    return;
  SimulateClientEvent(*client, fForm->ItemText("cboClients", fForm->ItemIndex("cboClients")),
                      fForm->Text("tbClientEventId"));
}

void TConsoleWin32::btClientCheckClick() {
  RunManualClientCheck(fController);
}

}  // namespace tavo
