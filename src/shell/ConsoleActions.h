#pragma once
// What the operator console's buttons do, apart from the window they sit
// in: the Qt console on Linux and the native one on Windows both call these
// and keep only the reading and writing of their controls.
//
// Main thread only.

#include <cstdint>
#include <string>
#include <vector>

namespace tavo {

class TClient;
class TfrmMain;

// Lines the log view keeps before a new text; a message line is one line,
// so the view tops out at 801.
constexpr std::int32_t kLogViewKeepLines = 800;
// How many of the view's first lines go to make room for aText, whose CR
// LF, lone CR and lone LF each end a line (0: none).
std::int32_t LogViewExcess(std::int32_t aViewLines, const std::string& aText);

// The recipients' names for the selector, empty ones left out.
std::vector<std::string> RecipientNames();
// Whether the manual check button shows: only without a check interval.
bool ManualCheckShown(const TfrmMain* aController);

// "Send test report to …", the test report to aRecipient from aCaption,
// "...done".
void SendTestReport(const std::string& aRecipient, const std::string& aCaption);
// The encoder's line for the log view (never the log file).
std::string PasscodeLine(const std::string& aPassword);
// The client at position aIndex of the selector, which lists the clients in
// order; null when there is none (no controller, a stale index).
TClient* ClientAt(const TfrmMain* aController, int aIndex);
// The heading of the counter read-out of the client aName.
std::string CounterHeading(const std::string& aName);
// Counts message aIdText for the client when it reads as an integer, with
// its two Info lines; nothing otherwise.
void SimulateClientEvent(TClient& aClient, const std::string& aName, const std::string& aIdText);
// "Run manual client check..." and a check cycle.
void RunManualClientCheck(TfrmMain* aController);

// The desktop's exception hook: the controller's Fatal line and error box.
// The timer and the receiver go on while the box waits for the operator; an
// error that repeats at every tick would otherwise stack a box (and a
// nested event loop) per tick until the stack runs out, so while one box is
// open later errors get their Fatal line only.
class TErrorBoxGate {
 public:
  void Report(TfrmMain& aController, const std::string& aText);

 private:
  bool fbOpen = false;
};

}  // namespace tavo
