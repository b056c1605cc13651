// The operator console as a native window under Wine, over the real
// controller on the Win32 main loop, driven through its window messages:
// its controls, the buttons, the password encoder, the exception hook, the
// log view's cap and the end of the session.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "config/RC4Coder.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/WideText.h"
#include "recipients/RecipientTypes.h"
#include "recipients/Recipients.h"
#include "shell/DesktopWin32.h"
#include "shell/RunMode.h"
#include "snmp/SnmpMessage.h"

#include "FreePorts.h"
#include "TestSupport.h"
#include "UdpListener.h"
#include "Win32Gui.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char* const kQuietIni = "[Logging]\nLevel=Trace\n[General]\nCheckInterval=0\n";

std::vector<std::string> gRecorded;

class TRecorderRecipient : public TRecipient {
 public:
  using TRecipient::TRecipient;
  bool Init(const TStringList&) override { return true; }
  void Report(const std::string& aText) override { gRecorded.push_back(FsName + ":" + aText); }
};

class TFailingRecipient : public TRecorderRecipient {
 public:
  using TRecorderRecipient::TRecorderRecipient;
  void Report(const std::string&) override { throw Exception("Recipient out of order"); }
};

class TestRecipientTypes {
 public:
  TestRecipientTypes() {
    gRecorded.clear();
    RegisterRecipientType("TestRecorder", [](const std::string& aName) {
      return std::make_unique<TRecorderRecipient>(aName);
    });
    RegisterRecipientType("TestFailing", [](const std::string& aName) {
      return std::make_unique<TFailingRecipient>(aName);
    });
  }
  ~TestRecipientTypes() {
    UnregisterRecipientType("TestRecorder");
    UnregisterRecipientType("TestFailing");
  }
};

// A console over aIni written as tavo.ini in a fresh folder.
class ConsoleRun {
 public:
  explicit ConsoleRun(const std::string& aIni) {
    fDir.Write("tavo.ini", aIni);
    SetConfigFileOverride(fDir.File("tavo.ini"));
    SetRunMode(TRunMode::eDesktop);
    fLoop = std::make_unique<TWin32MainLoop>();
    fSession = std::make_unique<TWin32DesktopSession>(*fLoop);
  }
  ~ConsoleRun() { Finish(); }

  // FormCreate and show; pumps until the deferred initialisation has run
  // or failed.
  bool Start() {
    fSession->Start();
    return Pump([this] {
      for (const std::string& line : ViewLines()) {
        if (line == "Trace: Initialization done" || line.rfind("Fatal: ", 0) == 0)
          return true;
      }
      return false;
    });
  }
  bool Pump(const std::function<bool()>& aDone, std::chrono::milliseconds aTimeout = 10s) {
    return PumpUntil(*fLoop, aDone, aTimeout);
  }

  TWin32MainLoop& Loop() const { return *fLoop; }
  TWin32DesktopSession& Session() const { return *fSession; }
  TConsoleWin32& Console() const { return fSession->Window(); }
  TWin32Form& Form() const { return fSession->Window().Form(); }
  HWND Control(const std::string& aName) const {
    return static_cast<HWND>(Form().ControlHandle(aName));
  }
  void Click(const std::string& aName) const { ClickButton(Control(aName)); }
  const TempDir& Dir() const { return fDir; }

  // The log view's lines without their time stamps.
  std::vector<std::string> ViewLines() const {
    std::vector<std::string> lines;
    if (Console().LogViewLineCount() == 0)
      return lines;
    std::istringstream in(WindowText(Control("Memo1")));
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      lines.push_back(line.size() > 24 && line[2] == '.' && line[13] == ':' ? line.substr(24)
                                                                            : line);
    }
    return lines;
  }
  int ViewCount(const std::string& aLine) const {
    const auto lines = ViewLines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), aLine));
  }
  std::vector<std::string> FileLines() const {
    try {
      return LogLinesOf(ReadWholeFile(fDir.File("tavo.log")));
    } catch (...) {
      return {};
    }
  }
  std::string Dump() const {
    std::string text = "log view:\n";
    for (const std::string& line : ViewLines())
      text += "  " + line + "\n";
    return text;
  }

  // Ends the session as tavo.exe does: the hand-off shuts down, then
  // FormDestroy runs.
  void Finish() {
    if (!fSession)
      return;
    fLoop->BeginShutdown();
    fSession.reset();
    fLoop.reset();
    SetConfigFileOverride("");
  }

 private:
  TempDir fDir;
  std::unique_ptr<TWin32MainLoop> fLoop;
  std::unique_ptr<TWin32DesktopSession> fSession;
};

RECT RectIn(HWND aControl, HWND aWindow) {
  RECT r{};
  ::GetWindowRect(aControl, &r);
  ::MapWindowPoints(nullptr, aWindow, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LONG StyleOf(HWND aWindow) {
  return ::GetWindowLongW(aWindow, GWL_STYLE);
}

// The simple panel's text: it answers as the bar's first part.
std::string StatusBarText(HWND aStatus) {
  wchar_t text[256] = {};
  ::SendMessageW(aStatus, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
  return WideToUtf8(text);
}

TEST(ConsoleWin32Test, ControlsCarryTheirNamesTextsAndHintsInTheStatusBar) {
  ConsoleRun run(kQuietIni);
  EXPECT_FALSE(run.Form().ControlVisible("btClientCheck")) << "hidden at creation";
  ASSERT_TRUE(run.Start()) << run.Dump();
  const HWND window = static_cast<HWND>(run.Form().Handle());

  struct Row {
    const char* Name;
    const char* Text;  // caption or initial text
    const char* Hint;
  };
  const Row rows[] = {
      {"btClientCheck", "Manual Client Check", "Run manual client check"},
      {"Label3", "Last Check:", ""},
      {"lblLastUpdate", "Timestamp of the last update", ""},
      {"gbClients", "Clients", ""},
      {"Memo2", "Read client counters by button [Read Counters]", ""},
      {"cboClients", "", "List of defined clients"},
      {"btReadCounter", "Read Counters", "Read selected clients message counter(s)"},
      {"btIncMessage", "Increment Message", "Increment selected clients message counter"},
      {"tbClientEventId", "10", "Message ID"},
      {"gbRecipients", "Recipients", ""},
      {"cboRecipients", "", "List of defined recipients"},
      {"btSendReport", "Send Test Report", "Send test report to selected receipient"},
      {"btEncodePwd", "Password Encoder", "Encode password to passcode"},
  };
  const HWND status = run.Control("StatusBar1");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const HWND control = run.Control(row.Name);
    EXPECT_EQ(WindowText(control), row.Text);
    if (*row.Hint) {
      // The pointer over the control: its parent hears of it first.
      ::SendMessageW(::GetParent(control), WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      EXPECT_EQ(StatusBarText(status), row.Hint);
    }
  }
  // Over a control without a hint the status bar is empty again.
  const HWND label = run.Control("Label3");
  ::SendMessageW(::GetParent(label), WM_SETCURSOR, reinterpret_cast<WPARAM>(label),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(StatusBarText(status), "");
  for (const char* name : {"cboClients", "cboRecipients"})
    EXPECT_EQ(StyleOf(run.Control(name)) & 3, CBS_DROPDOWNLIST) << name << ": selection only";
  EXPECT_TRUE(StyleOf(run.Control("tbClientEventId")) & ES_NUMBER);
  for (const char* name : {"Memo1", "Memo2"}) {
    EXPECT_FALSE(StyleOf(run.Control(name)) & WS_TABSTOP) << name << ": no tab stop";
    EXPECT_TRUE(StyleOf(run.Control(name)) & ES_READONLY) << name;
  }
  EXPECT_TRUE(StyleOf(run.Control("Memo1")) & WS_HSCROLL);
  EXPECT_TRUE(StyleOf(run.Control("Memo1")) & WS_VSCROLL);

  EXPECT_EQ(WindowText(window), "Tavo V1.11.03 ");
  ASSERT_EQ(run.Form().Dpi(), 96) << "the virtual display's";
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, 624);
  EXPECT_EQ(client.bottom, 381);
  RECT frame{};
  ::GetWindowRect(window, &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  EXPECT_LE(std::abs((frame.left + frame.right) - (monitor.rcWork.left + monitor.rcWork.right)), 2);
  EXPECT_LE(std::abs((frame.top + frame.bottom) - (monitor.rcWork.top + monitor.rcWork.bottom)), 2);
  const auto rect = [&](const char* aName) { return RectIn(run.Control(aName), window); };
  EXPECT_EQ(rect("tbClientEventId").right - rect("tbClientEventId").left, 48);
  EXPECT_EQ(rect("Panel1").bottom - rect("Panel1").top, 218);
  EXPECT_EQ(rect("Splitter1").top, 218);
  EXPECT_EQ(rect("Splitter1").bottom - rect("Splitter1").top, 3);
  EXPECT_EQ(rect("Memo1").top, 221);
  EXPECT_EQ(rect("Memo1").bottom, rect("StatusBar1").top);
  EXPECT_EQ(rect("StatusBar1").bottom, 381);

  // Top to bottom, and the rows left to right.
  const std::vector<std::vector<const char*>> columns = {
      {"gbRecipients", "gbClients", "Label3", "Memo1", "StatusBar1"}, {"btReadCounter", "Memo2"}};
  for (const auto& column : columns) {
    for (std::size_t i = 1; i < column.size(); ++i)
      EXPECT_LT(rect(column[i - 1]).top, rect(column[i]).top) << column[i];
  }
  const std::vector<std::vector<const char*>> rowsLeftToRight = {
      {"cboRecipients", "btSendReport", "btEncodePwd"},
      {"cboClients", "btReadCounter", "btIncMessage", "tbClientEventId"},
      {"Label3", "lblLastUpdate", "btClientCheck"}};
  for (const auto& row : rowsLeftToRight) {
    for (std::size_t i = 1; i < row.size(); ++i)
      EXPECT_LT(rect(row[i - 1]).right, rect(row[i]).left + 1) << row[i];
  }
  EXPECT_GT(rect("btClientCheck").left, 624 / 2) << "at the right";

  // The log view gets what the window gains; the clients group grows wider.
  const LONG clientsWidth = rect("gbClients").right - rect("gbClients").left;
  ::SetWindowPos(window, nullptr, 0, 0, 900, 600, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(rect("Panel1").bottom - rect("Panel1").top, 218);
  EXPECT_GT(rect("Memo1").bottom - rect("Memo1").top, 381 - 221 - 30);
  EXPECT_GT(rect("gbClients").right - rect("gbClients").left, clientsWidth);

  // The splitter moves the border.
  const HWND splitter = run.Control("Splitter1");
  ::SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
  ::SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 41));
  ::SendMessageW(splitter, WM_LBUTTONUP, 0, MAKELPARAM(5, 41));
  EXPECT_EQ(rect("Panel1").bottom, 258);
  EXPECT_EQ(rect("Memo1").top, 261);
}

// The manifest makes the program per-monitor DPI aware: when the window
// comes to a monitor of another DPI, the designed sizes scale with it and
// the message font is taken at that DPI.
TEST(ConsoleWin32Test, OnAMonitorOfAnotherDpiTheDesignedSizesScale) {
  EXPECT_EQ(::GetAwarenessFromDpiAwarenessContext(::GetThreadDpiAwarenessContext()),
            DPI_AWARENESS_PER_MONITOR_AWARE);
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  const HWND window = static_cast<HWND>(run.Form().Handle());
  const auto fontHeight = [&] {
    const HFONT font =
        reinterpret_cast<HFONT>(::SendMessageW(run.Control("btSendReport"), WM_GETFONT, 0, 0));
    LOGFONTW info{};
    ::GetObjectW(font, sizeof info, &info);
    return std::abs(info.lfHeight);
  };
  const LONG font96 = fontHeight();
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ASSERT_TRUE(
      ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, 96));
  LOGFONTW used{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(run.Control("Memo1"), WM_GETFONT, 0, 0)),
               sizeof used, &used);
  EXPECT_EQ(std::wstring(used.lfFaceName), metrics.lfMessageFont.lfFaceName)
      << "the system's message font";
  RECT frame{};
  ::GetWindowRect(window, &frame);
  RECT suggested{frame.left, frame.top, frame.left + 1000, frame.top + 700};
  ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(run.Form().Dpi(), 144);
  const auto rect = [&](const char* aName) { return RectIn(run.Control(aName), window); };
  EXPECT_EQ(rect("Panel1").bottom - rect("Panel1").top, 327) << "218 at 150 %";
  EXPECT_EQ(rect("tbClientEventId").right - rect("tbClientEventId").left, 72);
  EXPECT_EQ(rect("Memo1").top, ::MulDiv(218 + 3, 144, 96)) << "below the splitter";
  EXPECT_GT(fontHeight(), font96);
}

TEST(ConsoleWin32Test, TheMessageIdBoxTakesDigitsOnly) {
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  const HWND box = run.Control("tbClientEventId");
  ::SetWindowTextW(box, L"");
  for (const char c : std::string("4a-2 x7"))
    ::SendMessageW(box, WM_CHAR, static_cast<WPARAM>(c), 0);
  EXPECT_EQ(WindowText(box), "427");
}

TEST(ConsoleWin32Test, SendTestReportWithoutRecipientsGivesTheListsErrorAndDone) {
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  EXPECT_EQ(run.Form().ItemCount("cboRecipients"), 0);
  const std::size_t before = run.ViewLines().size();
  run.Click("btSendReport");
  const auto lines = run.ViewLines();
  ASSERT_EQ(lines.size(), before + 3) << run.Dump();
  EXPECT_THAT(std::vector<std::string>(lines.begin() + before, lines.end()),
              ElementsAre("Info:  Send test report to \"\"...", "Error: Recipient \"\" not found!",
                          "Info:  ...done"));
}

TEST(ConsoleWin32Test, TestReportToATrapRecipientArrivesOnItsUdpSocket) {
  UdpListener manager;
  ConsoleRun run(std::string(kQuietIni) +
                 "[Recipients]\nOther=Type=SnmpTrapV1;Host=127.0.0.1;Port=9;Community=x\n"
                 "Manager=Type=SnmpTrapV1;Host=127.0.0.1;Port=" +
                 std::to_string(manager.Port()) + ";Community=tavotest\n");
  ASSERT_TRUE(run.Start()) << run.Dump();
  ASSERT_EQ(run.Form().ItemCount("cboRecipients"), 2);
  // The operator picks the second recipient.
  const HWND box = run.Control("cboRecipients");
  ::SendMessageW(box, CB_SETCURSEL, 1, 0);
  ::SendMessageW(::GetParent(box), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(box), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(box));
  run.Click("btSendReport");
  const std::string datagram = manager.Receive(5s);
  ASSERT_FALSE(datagram.empty()) << run.Dump();
  TSNMPRec trap;
  ASSERT_TRUE(trap.DecodeBuf(datagram));
  EXPECT_EQ(trap.FVersion, 0);
  EXPECT_EQ(trap.FCommunity, "tavotest");
  EXPECT_EQ(trap.MIBGet("1.3.6.4.1.52814.8423.1"), "999");
  EXPECT_EQ(trap.MIBGet("1.3.6.4.1.52814.8423.2"), "Test Report <Manager>");
  EXPECT_THAT(trap.MIBGet("1.3.6.4.1.52814.8423.3"),
              ::testing::MatchesRegex("Send timestamp .+\r\nFrom Tavo V1\\.11\\.03 \r\n"));
  EXPECT_EQ(run.ViewCount("Info:  Send test report to \"Manager\"..."), 1) << run.Dump();
  EXPECT_EQ(run.ViewCount("Info:  ...done"), 1) << run.Dump();
}

// Two clients behind a trap receiver; WebShop's account 10 and Database's
// account 20 report to a recorder at every check cycle.
class ConsoleWin32ClientsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fRun = std::make_unique<ConsoleRun>(
        "[Logging]\nLevel=Trace\n[General]\nCheckInterval=0\n"
        "[Recipients]\nOperators=Type=TestRecorder\n"
        "[Client Web]\nName=WebShop\nOidMsgId=1.3.6.1.4.1.99999.1.1\n"
        "100=Orders;0;1000;Send\n10=Tick;5;0;Send;Operators;tick.txt\n"
        "[Client Db]\nName=Database\nOidMsgId=1.3.6.1.4.1.99999.2.1\n10=Heartbeat;0;1000;Send\n"
        "20=Beat;1;0;Send;Operators;tick.txt\n");
    fRun->Dir().Write("tick.txt", "%CLIENT_NAME %ID counter %COUNTER\r\n");
    ASSERT_TRUE(fRun->Start()) << fRun->Dump();
  }
  std::string ReadCounters() {
    fRun->Click("btReadCounter");
    return WindowText(fRun->Control("Memo2"));
  }
  void Select(int aIndex) {
    const HWND box = fRun->Control("cboClients");
    ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(aIndex), 0);
  }

  TestRecipientTypes fTypes;
  std::unique_ptr<ConsoleRun> fRun;
};

TEST_F(ConsoleWin32ClientsTest, ReadCountersAndIncrementMessage) {
  TWin32Form& f = fRun->Form();
  ASSERT_EQ(f.ItemCount("cboClients"), 2);
  EXPECT_EQ(f.ItemText("cboClients", 0), "WebShop");
  EXPECT_EQ(f.ItemText("cboClients", 1), "Database");
  EXPECT_EQ(f.ItemIndex("cboClients"), 0);

  const std::size_t before = fRun->ViewLines().size();
  fRun->Click("btIncMessage");  // the default id 10
  const auto lines = fRun->ViewLines();
  EXPECT_THAT(std::vector<std::string>(lines.begin() + before, lines.end()),
              ElementsAre("Info:  Simulate client event: \"WebShop-10\"...", "Info:  ...done"));
  const std::string webShop = ReadCounters();
  EXPECT_EQ(webShop.rfind("Client \"WebShop\" counter ...\r\n> Message id 100 ", 0), 0u) << webShop;
  EXPECT_THAT(webShop, HasSubstr("\r\n> Message id 10 \"Tick\" counter = 1 < 5 (True)"));

  // An empty id does nothing.
  ::SetWindowTextW(fRun->Control("tbClientEventId"), L"");
  const std::size_t count = fRun->ViewLines().size();
  fRun->Click("btIncMessage");
  EXPECT_EQ(fRun->ViewLines().size(), count);

  // Position k is client k; the read-out shows only the last client read.
  Select(1);
  ::SetWindowTextW(fRun->Control("tbClientEventId"), L"10");
  fRun->Click("btIncMessage");
  EXPECT_EQ(ReadCounters(),
            "Client \"Database\" counter ...\r\n"
            "> Message id 10 \"Heartbeat\" counter = 1 > 0 (True)\r\n"
            "> Message id 20 \"Beat\" counter = 0 < 1 (True)");
  EXPECT_EQ(fRun->ViewCount("Info:  Simulate client event: \"Database-10\"..."), 1);
}

TEST_F(ConsoleWin32ClientsTest, EachManualCheckReachesEveryClient) {
  ASSERT_TRUE(fRun->Form().ControlVisible("btClientCheck"));
  EXPECT_EQ(WindowText(fRun->Control("lblLastUpdate")), "Timestamp of the last update");
  fRun->Click("btIncMessage");
  fRun->Click("btClientCheck");
  fRun->Click("btClientCheck");
  EXPECT_THAT(
      gRecorded,
      ElementsAre("Operators:WebShop 10 counter 1\r\n", "Operators:Database 20 counter 0\r\n",
                  "Operators:WebShop 10 counter 0\r\n", "Operators:Database 20 counter 0\r\n"));
  EXPECT_EQ(fRun->ViewCount("Info:  Run manual client check..."), 2);
  EXPECT_NE(WindowText(fRun->Control("lblLastUpdate")), "Timestamp of the last update");
}

TEST(ConsoleWin32Test, ManualCheckButtonOnlyWithIntervalZero) {
  ConsoleRun run("[General]\nCheckInterval=10\n");
  ASSERT_TRUE(run.Start()) << run.Dump();
  EXPECT_FALSE(run.Form().ControlVisible("btClientCheck"));
  EXPECT_TRUE(run.Session().Controller().CheckIntervalTimer().Active());
}

TEST(ConsoleWin32Test, PasswordEncoderLineInTheLogViewOnlyAndTheCap) {
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  const std::string before = WindowText(run.Control("Memo1"));
  {
    DialogAnswer cancel([](void* aBox) { CloseDialog(aBox, false); });
    run.Click("btEncodePwd");
    ASSERT_TRUE(cancel.Answered());
    EXPECT_EQ(cancel.Title(), "Password Encoder ");
    EXPECT_EQ(cancel.Text(), "Enter Password");
    EXPECT_EQ(WindowText(run.Control("Memo1")), before);
  }
  {
    DialogAnswer empty([](void* aBox) { CloseDialog(aBox, true); });
    run.Click("btEncodePwd");
    ASSERT_TRUE(empty.Answered());
    EXPECT_EQ(WindowText(run.Control("Memo1")), before);
  }
  const std::string password = "Geheim 7";
  LONG editStyle = ES_PASSWORD;
  DialogAnswer confirm([&](void* aBox) {
    editStyle = StyleOf(::FindWindowExW(static_cast<HWND>(aBox), nullptr, L"Edit", nullptr));
    CloseDialog(aBox, true, &password);
  });
  run.Click("btEncodePwd");
  ASSERT_TRUE(confirm.Answered());
  EXPECT_FALSE(editStyle & ES_PASSWORD) << "typed in clear";
  const std::string passcodeLine =
      "Encoded Password - Passcode=" + TRC4HexCoder::Encode("TavoGeheim 7");
  EXPECT_THAT(run.ViewLines(), ElementsAre(passcodeLine));
  for (const std::string& line : run.FileLines())
    EXPECT_THAT(line, ::testing::Not(HasSubstr("Passcode"))) << "never in the log file";

  // 800 message lines more make 801 with the passcode line on top; the
  // next one pushes it out, and the view stays at 801.
  for (int i = 1; i <= 800; ++i)
    TMsg::Info("line %d", {i});
  auto lines = run.ViewLines();
  ASSERT_EQ(lines.size(), 801u);
  EXPECT_EQ(lines.front(), passcodeLine);
  TMsg::Info("line %d", {801});
  TMsg::Info("line %d", {802});
  lines = run.ViewLines();
  ASSERT_EQ(lines.size(), 801u);
  EXPECT_EQ(run.Console().LogViewLineCount(), 801);
  EXPECT_EQ(lines.front(), "Info:  line 2");
  EXPECT_EQ(lines.back(), "Info:  line 802");
}

TEST(ConsoleWin32Test, AnErrorEscapingAButtonGivesAFatalLineAndOneBoxAtATime) {
  TestRecipientTypes types;
  ConsoleRun run(std::string(kQuietIni) +
                 "[Recipients]\nBroken=Type=TestFailing\nFine=Type=TestRecorder\n");
  ASSERT_TRUE(run.Start()) << run.Dump();
  {
    BoxRecorder boxes;
    run.Click("btSendReport");
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Icon, TMsgBoxIcon::eError);
    EXPECT_EQ(boxes.Boxes[0].Text, "Recipient out of order");
  }
  EXPECT_EQ(run.ViewCount("Fatal: Recipient out of order"), 1) << run.Dump();
  EXPECT_EQ(run.ViewCount("Info:  ...done"), 0) << "the handler ended at the error";

  // The real box, closed by the test; errors that escape while it waits
  // get their Fatal line but no box of their own.
  int boxes = 0;
  DialogAnswer ok(
      [&](void* aBox) {
        ++boxes;
        run.Click("btSendReport");
        run.Click("btSendReport");
        CloseDialog(aBox, true);
      },
      3s);
  run.Click("btSendReport");
  ASSERT_TRUE(ok.Answered());
  EXPECT_EQ(ok.Title(), "Tavo");
  EXPECT_THAT(ok.Text(), HasSubstr("Recipient out of order"));
  run.Pump([] { return false; }, 200ms);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(ok.Unexpected(), 0) << "a second box over the first";
  EXPECT_EQ(run.ViewCount("Fatal: Recipient out of order"), 4) << run.Dump();

  // The program goes on.
  run.Form().SetItemIndex("cboRecipients", 1);
  run.Click("btSendReport");
  EXPECT_EQ(gRecorded.size(), 1u);
  run.Finish();
  const auto file = run.FileLines();
  EXPECT_EQ(std::count(file.begin(), file.end(), "Fatal: Recipient out of order"), 4);
}

TEST(ConsoleWin32Test, AnErrorEscapingDeferredInitGivesAFatalLineAndABoxAndTheProgramGoesOn) {
  ConsoleRun run(kQuietIni);
  const std::string ini = run.Dir().File("tavo.ini");
  ASSERT_TRUE(::DeleteFileW(Utf8ToWide(ini).c_str()));
  BoxRecorder boxes;
  ASSERT_TRUE(run.Start()) << run.Dump();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "File not found: " + ini);
  EXPECT_EQ(run.ViewCount("Fatal: File not found: " + ini), 1) << run.Dump();
  run.Click("btSendReport");
  EXPECT_EQ(run.ViewCount("Info:  ...done"), 1) << run.Dump();
}

TEST(ConsoleWin32Test, ClosingTheWindowEndsTheLoopAndTheProgramInOrder) {
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  const HWND window = static_cast<HWND>(run.Form().Handle());
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  // Ends by itself once the window closes; a timer of the loop guards it.
  bool timedOut = false;
  auto guard = run.Loop().CreateTimer([&] {
    timedOut = true;
    run.Loop().Quit();
  });
  guard->Start(10000);
  run.Loop().Run();
  guard.reset();
  EXPECT_FALSE(timedOut) << "closing the window did not end the loop";
  EXPECT_FALSE(::IsWindowVisible(window));
  run.Finish();
  EXPECT_EQ(run.FileLines().back(), "Info:  Application closed");
}

TEST(ConsoleWin32Test, TheEndOfTheWindowsSessionEndsInOrderAtOnce) {
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  const HWND window = static_cast<HWND>(run.Form().Handle());
  EXPECT_TRUE(::SendMessageW(window, WM_QUERYENDSESSION, 0, 0));
  ::SendMessageW(window, WM_ENDSESSION, TRUE, 0);
  // Before anything else runs: the process may be gone now.
  EXPECT_EQ(run.FileLines().back(), "Info:  Application closed");
  run.Finish();
  const auto file = run.FileLines();
  EXPECT_EQ(std::count(file.begin(), file.end(), "Info:  Application closed"), 1);
}

// A picture of the window for people to look at: the build folder gets it,
// and the Linux side turns it into a PNG.
TEST_F(ConsoleWin32ClientsTest, Screenshot) {
  fRun->Click("btIncMessage");
  fRun->Click("btClientCheck");
  ReadCounters();
  // The pointer over the read-out button: its hint in the status bar.
  const HWND button = fRun->Control("btReadCounter");
  ::SendMessageW(::GetParent(button), WM_SETCURSOR, reinterpret_cast<WPARAM>(button),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  fRun->Pump([] { return false; }, 300ms);
  const std::string path = TAVO_TEST_OUTPUT_DIR "/console-windows.bmp";
  EXPECT_TRUE(SaveWindowBitmap(fRun->Form().Handle(), path)) << path;
}

}  // namespace
}  // namespace tavo::test
