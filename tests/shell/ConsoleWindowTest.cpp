// The operator console over the real controller, offscreen: its controls,
// the log view and its cap, the buttons, the password encoder and the
// exception hook.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QEnterEvent>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "config/RC4Coder.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Socket.h"
#include "recipients/RecipientTypes.h"
#include "recipients/Recipients.h"
#include "snmp/SnmpMessage.h"

#include "ConsoleTestSupport.h"
#include "NetSnmpPeer.h"
#include "TestProcess.h"
#include "UdpListener.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char* const kQuietIni = "[Logging]\nLevel=Trace\n[General]\nCheckInterval=0\n";

// Recipient types of the tests: one keeps what it is given, one fails.
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

QStringList Items(const QComboBox* aBox) {
  QStringList items;
  for (int i = 0; i < aBox->count(); ++i)
    items << aBox->itemText(i);
  return items;
}

QPoint TopLeftIn(const QWidget* aWidget, const QWidget* aWindow) {
  return aWidget->mapTo(aWindow, QPoint(0, 0));
}

TEST(ConsoleWindowTest, ControlsCarryTheirNamesTextsAndHintsInTheStatusBar) {
  ConsoleRun run(kQuietIni);
  TConsoleWindow& w = run.Window();
  EXPECT_FALSE(w.btClientCheck->isVisibleTo(&w)) << "hidden at creation";
  ASSERT_TRUE(run.Start()) << run.Dump();

  struct Row {
    const char* Name;
    QString Text;  // caption or initial text
    QString Hint;
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
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    auto* control = w.findChild<QWidget*>(row.Name);
    ASSERT_NE(control, nullptr);
    QString text;
    if (auto* b = qobject_cast<QPushButton*>(control))
      text = b->text();
    else if (auto* l = qobject_cast<QLabel*>(control))
      text = l->text();
    else if (auto* g = qobject_cast<QGroupBox*>(control))
      text = g->title();
    else if (auto* m = qobject_cast<QPlainTextEdit*>(control))
      text = m->toPlainText();
    else if (auto* e = qobject_cast<QLineEdit*>(control))
      text = e->text();
    else if (auto* c = qobject_cast<QComboBox*>(control)) {
      EXPECT_FALSE(c->isEditable()) << "selection only";
    }
    EXPECT_EQ(text, row.Text);
    EXPECT_EQ(control->statusTip(), row.Hint);
    EXPECT_TRUE(control->toolTip().isEmpty()) << "no pop-up tips";
    if (!row.Hint.isEmpty()) {
      QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
      QCoreApplication::sendEvent(control, &enter);
      EXPECT_EQ(w.StatusBar1->currentMessage(), row.Hint);
      QEvent leave(QEvent::Leave);
      QCoreApplication::sendEvent(control, &leave);
    }
  }
  for (const char* name : {"Memo1", "StatusBar1", "Panel1", "Splitter1"})
    EXPECT_NE(w.findChild<QWidget*>(name), nullptr) << name;

  EXPECT_EQ(w.windowTitle(), "Tavo V1.11.03 ");
  EXPECT_EQ(w.geometry().size(), QSize(624, 381)) << "client area";
  const QRect screen = w.screen()->availableGeometry();
  EXPECT_LE((w.frameGeometry().center() - screen.center()).manhattanLength(), 2) << "centred";
  EXPECT_EQ(w.tbClientEventId->width(), 48);
  EXPECT_EQ(w.Splitter1->orientation(), Qt::Vertical);
  EXPECT_EQ(w.Splitter1->handleWidth(), 3);
  EXPECT_EQ(w.Panel1->height(), 218);
  EXPECT_EQ(w.Memo1->focusPolicy(), Qt::ClickFocus) << "no tab stop";
  EXPECT_EQ(w.Memo2->focusPolicy(), Qt::ClickFocus) << "no tab stop";
  EXPECT_EQ(w.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(w.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

  // Top to bottom: recipients, clients, the last-check row, the splitter,
  // the log view, the status bar.
  const QWidget* column[] = {w.gbRecipients, w.gbClients, w.Label3, w.Memo1, w.StatusBar1};
  for (std::size_t i = 1; i < std::size(column); ++i) {
    EXPECT_LT(TopLeftIn(column[i - 1], &w).y(), TopLeftIn(column[i], &w).y())
        << column[i - 1]->objectName().toStdString() << " above "
        << column[i]->objectName().toStdString();
  }
  EXPECT_LE(TopLeftIn(w.Memo1, &w).y() - (TopLeftIn(w.Panel1, &w).y() + 218), 3);
  // Rows, left to right.
  const QWidget* recipientsRow[] = {w.cboRecipients, w.btSendReport, w.btEncodePwd};
  const QWidget* clientsRow[] = {w.cboClients, w.btReadCounter, w.btIncMessage, w.tbClientEventId};
  const QWidget* checkRow[] = {w.Label3, w.lblLastUpdate, w.btClientCheck};
  for (const auto& row :
       {std::vector<const QWidget*>(std::begin(recipientsRow), std::end(recipientsRow)),
        std::vector<const QWidget*>(std::begin(clientsRow), std::end(clientsRow)),
        std::vector<const QWidget*>(std::begin(checkRow), std::end(checkRow))}) {
    for (std::size_t i = 1; i < row.size(); ++i)
      EXPECT_LT(TopLeftIn(row[i - 1], &w).x(), TopLeftIn(row[i], &w).x())
          << row[i]->objectName().toStdString();
  }
  EXPECT_GT(TopLeftIn(w.Memo2, &w).y(), TopLeftIn(w.btReadCounter, &w).y());
  EXPECT_GT(TopLeftIn(w.btClientCheck, &w).x(), w.width() / 2) << "at the right";

  // The log view gets what the window gains; the clients group grows wider.
  const int memoHeight = w.Memo1->height();
  const int clientsWidth = w.gbClients->width();
  w.resize(800, 500);
  Spin([&] { return w.Memo1->height() > memoHeight; }, 2s);
  EXPECT_EQ(w.Panel1->height(), 218);
  EXPECT_GT(w.gbClients->width(), clientsWidth);
}

TEST(ConsoleWindowTest, TheMessageIdBoxTakesDigitsOnly) {
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  QLineEdit* box = run.Window().tbClientEventId;
  box->selectAll();
  QTest::keyClicks(box, "4a-2 x7");
  EXPECT_EQ(box->text(), "427");
}

TEST(ConsoleWindowTest, ManualCheckButtonOnlyWithIntervalZeroAndEachClickRunsOneCycle) {
  struct Case {
    const char* Ini;
    bool Visible;
  };
  for (const Case& c : {Case{"[General]\nCheckInterval=0\n", true},
                        Case{"[General]\nCheckInterval=10\n", false}, Case{"[General]\n", false}}) {
    SCOPED_TRACE(c.Ini);
    ConsoleRun run(c.Ini);
    ASSERT_TRUE(run.Start()) << run.Dump();
    EXPECT_EQ(run.Window().btClientCheck->isVisible(), c.Visible);
    EXPECT_EQ(run.Controller().CheckIntervalTimer().Active(), !c.Visible);
  }

  FakeClock clock;
  clock.Set(2024, 3, 5, 9, 15, 30);
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  TConsoleWindow& w = run.Window();
  EXPECT_EQ(w.lblLastUpdate->text(), "Timestamp of the last update");
  w.btClientCheck->click();
  EXPECT_EQ(w.lblLastUpdate->text().toStdString(),
            ShortDateText(clock.fNow) + " " + LongTimeText(clock.fNow));
  clock.Set(2024, 3, 5, 9, 16, 45);
  w.btClientCheck->click();
  EXPECT_EQ(w.lblLastUpdate->text().toStdString(),
            ShortDateText(clock.fNow) + " " + LongTimeText(clock.fNow));
  EXPECT_EQ(run.ViewCount("Info:  Run manual client check..."), 2);
}

TEST(ConsoleWindowTest, SendTestReportWithoutRecipientsGivesTheListsErrorAndDone) {
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  EXPECT_EQ(run.Window().cboRecipients->count(), 0);
  const std::size_t before = run.ViewLines().size();
  run.Window().btSendReport->click();
  const auto lines = run.ViewLines();
  ASSERT_EQ(lines.size(), before + 3) << run.Dump();
  EXPECT_THAT(std::vector<std::string>(lines.begin() + before, lines.end()),
              ElementsAre("Info:  Send test report to \"\"...", "Error: Recipient \"\" not found!",
                          "Info:  ...done"));
}

TEST(ConsoleWindowTest, RecipientsInConfigurationOrderAndTheTestReportText) {
  TestRecipientTypes types;
  FakeClock clock;
  clock.Set(2025, 11, 28, 17, 4, 9);
  ConsoleRun run(std::string(kQuietIni) +
                 "[Recipients]\nZulu=Type=TestRecorder\nAlpha=Type=TestRecorder\n"
                 "Broken=Type=Unheard\nMike=Type=TestRecorder\n");
  ASSERT_TRUE(run.Start()) << run.Dump();
  QComboBox* box = run.Window().cboRecipients;
  EXPECT_EQ(Items(box), QStringList({"Zulu", "Alpha", "Mike"}));
  EXPECT_EQ(box->currentIndex(), 0);

  box->setCurrentIndex(1);
  run.Window().btSendReport->click();
  ASSERT_EQ(gRecorded.size(), 1u);
  EXPECT_EQ(gRecorded[0], "Alpha:Test Report <Alpha>\r\nSend timestamp " +
                              ShortDateText(clock.fNow) + " " + LongTimeText(clock.fNow) +
                              "\r\nFrom Tavo V1.11.03 ");
  EXPECT_EQ(run.ViewCount("Info:  Send test report to \"Alpha\"..."), 1);
  EXPECT_EQ(run.ViewCount("Info:  ...done"), 1);
}

TEST(ConsoleWindowTest, TestReportToATrapRecipientArrivesAsTrap999) {
  UdpListener manager;
  ConsoleRun run(std::string(kQuietIni) +
                 "[Recipients]\nManager=Type=SnmpTrapV1;Host=127.0.0.1;Port=" +
                 std::to_string(manager.Port()) + ";Community=tavotest\n");
  ASSERT_TRUE(run.Start()) << run.Dump();
  ASSERT_EQ(run.Window().cboRecipients->currentText(), "Manager");
  run.Window().btSendReport->click();
  const std::string datagram = manager.Receive(5s);
  ASSERT_FALSE(datagram.empty()) << run.Dump();
  TSNMPRec trap;
  ASSERT_TRUE(trap.DecodeBuf(datagram));
  EXPECT_EQ(trap.FVersion, 0);
  EXPECT_EQ(trap.FPDUType, kPduTrapV1);
  EXPECT_EQ(trap.FCommunity, "tavotest");
  EXPECT_EQ(trap.MIBGet("1.3.6.4.1.52814.8423.1"), "999");
  EXPECT_EQ(trap.MIBGet("1.3.6.4.1.52814.8423.2"), "Test Report <Manager>");
  EXPECT_THAT(trap.MIBGet("1.3.6.4.1.52814.8423.3"),
              ::testing::MatchesRegex("Send timestamp .+\r\nFrom Tavo V1\\.11\\.03 \r\n"));
  EXPECT_EQ(run.ViewCount("Info:  ...done"), 1) << run.Dump();
}

TEST(ConsoleWindowTest, AnErrorEscapingAButtonGivesAFatalLineAndABoxAndTheProgramGoesOn) {
  TestRecipientTypes types;
  ConsoleRun run(std::string(kQuietIni) +
                 "[Recipients]\nBroken=Type=TestFailing\nFine=Type=TestRecorder\n");
  ASSERT_TRUE(run.Start()) << run.Dump();
  {
    ModalAnswer ok([](QWidget* aBox) { qobject_cast<QMessageBox*>(aBox)->accept(); });
    run.Window().btSendReport->click();
    ASSERT_TRUE(ok.Answered());
    EXPECT_EQ(ok.Text(), "Recipient out of order");
    EXPECT_EQ(ok.Title(), "Tavo");
  }
  EXPECT_EQ(run.ViewCount("Fatal: Recipient out of order"), 1) << run.Dump();
  EXPECT_EQ(run.ViewCount("Info:  ...done"), 0) << "the handler ended at the error";

  // Errors that escape while the box waits (a timer, a trap) get their
  // Fatal line but no box of their own: boxes never pile up.
  {
    int boxes = 0;
    TConsoleWindow* w = &run.Window();
    ModalAnswer ok(
        [&](QWidget* aBox) {
          ++boxes;
          w->btSendReport->click();
          w->btSendReport->click();
          qobject_cast<QMessageBox*>(aBox)->accept();
        },
        2s);
    w->btSendReport->click();
    ASSERT_TRUE(ok.Answered());
    SpinFor(100ms);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(ok.Unexpected(), 0) << "a second box over the first";
  }
  EXPECT_EQ(run.ViewCount("Fatal: Recipient out of order"), 4) << run.Dump();

  run.Window().cboRecipients->setCurrentIndex(1);
  run.Window().btSendReport->click();
  EXPECT_EQ(gRecorded.size(), 1u);
  EXPECT_EQ(run.ViewCount("Info:  ...done"), 1) << run.Dump();
  run.Finish();
  const auto file = run.FileLines();
  EXPECT_EQ(std::count(file.begin(), file.end(), "Fatal: Recipient out of order"), 4);
}

// Two clients (and two sections that are none) behind a trap receiver;
// WebShop's account 10 and Database's account 20 report to a recorder at
// every check cycle.
class ConsoleClientsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fPort = FreeUdpPort();
    fRun = std::make_unique<ConsoleRun>(
        "[Logging]\nLevel=Trace\n[General]\nCheckInterval=0\n"
        "[Recipients]\nOperators=Type=TestRecorder\n"
        "[SnmpTrapReceiver]\nPort=" +
        std::to_string(fPort) +
        "\nCommunity=public\n"
        "[Client Web]\nName=WebShop\nOidMsgId=" +
        kWebOid + "\nOidMsgText=" + kWebTextOid +
        "\n100=Orders;0;1000;Send\n10=Tick;5;0;Send;Operators;tick.txt\n"
        "[client lower]\nName=NotAClient\nOidMsgId=1.3.6.1.4.1.99999.3.1\n10=X;0;5;Send\n"
        "[Client NoOid]\nName=NoOid\n10=X;0;5;Send\n"
        "[Client Db]\nName=Database\nOidMsgId=1.3.6.1.4.1.99999.2.1\n10=Heartbeat;0;1000;Send\n"
        "20=Beat;1;0;Send;Operators;tick.txt\n");
    fRun->Dir().Write("tick.txt", "%CLIENT_NAME %ID counter %COUNTER\r\n");
    ASSERT_TRUE(fRun->Start()) << fRun->Dump();
    // The receiver binds on its own thread: wait until nobody else can.
    ASSERT_TRUE(Spin([&] {
      try {
        TUdpSocket probe;
        probe.Open(TAddressFamily::eIPv4);
        probe.Bind("127.0.0.1", fPort);
        return false;
      } catch (const EOSError&) {
        return true;
      }
    })) << fRun->Dump();
  }

  // An SNMPv1 trap to WebShop with message id aId and a text.
  void SendTrap(int aId, const std::string& aText) {
    const RunResult r = RunSnmpTrap(
        fRun->Dir().Path(),
        SnmpV1TrapArgs({.Target = "127.0.0.1:" + std::to_string(fPort),
                        .Enterprise = "1.3.6.1.4.1.99999",
                        .Specific = "1",
                        .Bindings = {kWebOid, "i", std::to_string(aId), kWebTextOid, "s", aText}}));
    ASSERT_EQ(r.Status, 0) << r.Err;
  }
  QString ReadCounters() {
    fRun->Window().btReadCounter->click();
    return fRun->Window().Memo2->toPlainText();
  }

  static constexpr const char* kWebOid = "1.3.6.1.4.1.99999.1.1";
  static constexpr const char* kWebTextOid = "1.3.6.1.4.1.99999.1.2";
  TestRecipientTypes fTypes;
  std::uint16_t fPort = 0;
  std::unique_ptr<ConsoleRun> fRun;
};

TEST_F(ConsoleClientsTest, ReadCountersAfterTrapsAndAfterIncrementMessage) {
  TConsoleWindow& w = fRun->Window();
  EXPECT_EQ(Items(w.cboClients), QStringList({"WebShop", "Database"}));
  EXPECT_EQ(w.cboClients->currentIndex(), 0);

  for (int i = 0; i < 3; ++i)
    SendTrap(100, "Order " + std::to_string(i));
  const QString three =
      "Client \"WebShop\" counter ...\n"
      "> Message id 100 \"Orders\" counter = 3 > 0 (True)\n"
      "> Message id 10 \"Tick\" counter = 0 < 5 (True)";
  ASSERT_TRUE(Spin([&] { return ReadCounters() == three; })) << ReadCounters().toStdString();

  const std::size_t before = fRun->ViewLines().size();
  w.btIncMessage->click();  // the default id 10
  const auto lines = fRun->ViewLines();
  EXPECT_THAT(std::vector<std::string>(lines.begin() + before, lines.end()),
              ElementsAre("Info:  Simulate client event: \"WebShop-10\"...", "Info:  ...done"));
  EXPECT_THAT(ReadCounters().toStdString(), HasSubstr("\"Tick\" counter = 1 < 5 (True)"));

  // An empty or non-numeric id does nothing.
  for (const char* id : {"", "abc", "99999999999"}) {
    w.tbClientEventId->setText(id);
    const std::size_t count = fRun->ViewLines().size();
    w.btIncMessage->click();
    EXPECT_EQ(fRun->ViewLines().size(), count) << id;
  }
  EXPECT_THAT(ReadCounters().toStdString(), HasSubstr("\"Tick\" counter = 1 < 5 (True)"));

  // Position k is client k; the read-out shows only the last client read.
  w.cboClients->setCurrentIndex(1);
  w.tbClientEventId->setText("10");
  w.btIncMessage->click();
  EXPECT_EQ(ReadCounters(),
            "Client \"Database\" counter ...\n"
            "> Message id 10 \"Heartbeat\" counter = 1 > 0 (True)\n"
            "> Message id 20 \"Beat\" counter = 0 < 1 (True)");
  EXPECT_EQ(fRun->ViewCount("Info:  Simulate client event: \"Database-10\"..."), 1);
}

TEST_F(ConsoleClientsTest, EachManualCheckRunsOneFullCycle) {
  TConsoleWindow& w = fRun->Window();
  ASSERT_TRUE(w.btClientCheck->isVisible());
  w.btIncMessage->click();
  w.btClientCheck->click();
  w.btClientCheck->click();
  // Every client, in configuration order, at each click.
  EXPECT_THAT(
      gRecorded,
      ElementsAre("Operators:WebShop 10 counter 1\r\n", "Operators:Database 20 counter 0\r\n",
                  "Operators:WebShop 10 counter 0\r\n", "Operators:Database 20 counter 0\r\n"));
  EXPECT_EQ(fRun->ViewCount("Info:  Run manual client check..."), 2);
  SpinFor(200ms);
  EXPECT_EQ(gRecorded.size(), 4u) << "no cycle runs by itself";
}

TEST_F(ConsoleClientsTest, ScreenshotAfterAFewTraps) {
  SendTrap(100, "Order 4711 placed");
  SendTrap(100, "Order 4712 placed");
  ASSERT_TRUE(Spin([&] { return ReadCounters().contains("counter = 2 > 0"); }));
  fRun->Window().btClientCheck->click();
  ReadCounters();
  SpinFor(100ms);
  const QString path = QStringLiteral(TAVO_TEST_OUTPUT_DIR "/console.png");
  ASSERT_TRUE(fRun->Window().grab().save(path, "PNG")) << path.toStdString();
}

TEST(ConsoleWindowTest, PasswordEncoderClearsTheViewAndItsLineCountsTowardTheCap) {
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  TConsoleWindow& w = run.Window();
  const QString before = w.Memo1->toPlainText();

  {  // cancelled, and confirmed with nothing typed: the view stays
    ModalAnswer cancel([](QWidget* aBox) { qobject_cast<QDialog*>(aBox)->reject(); });
    w.btEncodePwd->click();
    ASSERT_TRUE(cancel.Answered());
    EXPECT_EQ(cancel.Title(), "Password Encoder ");
    EXPECT_EQ(cancel.Text(), "Enter Password");
    EXPECT_EQ(w.Memo1->toPlainText(), before);
  }
  {
    ModalAnswer empty([](QWidget* aBox) { qobject_cast<QDialog*>(aBox)->accept(); });
    w.btEncodePwd->click();
    ASSERT_TRUE(empty.Answered());
    EXPECT_EQ(w.Memo1->toPlainText(), before);
  }

  QLineEdit::EchoMode echo = QLineEdit::Password;
  ModalAnswer confirm([&echo](QWidget* aBox) {
    auto* input = qobject_cast<QInputDialog*>(aBox);
    echo = input->textEchoMode();
    input->setTextValue(QStringLiteral("Geheim 7"));
    input->accept();
  });
  w.btEncodePwd->click();
  ASSERT_TRUE(confirm.Answered());
  EXPECT_EQ(echo, QLineEdit::Normal) << "typed in clear";
  const std::string passcodeLine =
      "Encoded Password - Passcode=" + TRC4HexCoder::Encode("TavoGeheim 7");
  EXPECT_EQ(TRC4HexCoder::Decode(TRC4HexCoder::Encode("TavoGeheim 7")), "TavoGeheim 7");
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
  EXPECT_EQ(lines[1], "Info:  line 1");
  TMsg::Info("line %d", {801});
  lines = run.ViewLines();
  ASSERT_EQ(lines.size(), 801u);
  EXPECT_EQ(lines.front(), "Info:  line 1");
  EXPECT_EQ(lines.back(), "Info:  line 801");
  TMsg::Info("line %d", {802});
  EXPECT_EQ(run.Window().LogViewLineCount(), 801);
  EXPECT_EQ(run.ViewLines().front(), "Info:  line 2");
}

TEST(ConsoleWindowTest, AnErrorEscapingDeferredInitGivesAFatalLineAndABoxAndTheProgramGoesOn) {
  ConsoleRun run(kQuietIni);
  const std::string ini = run.Dir().File("tavo.ini");
  ASSERT_TRUE(DeleteFile(ini));
  ModalAnswer ok([](QWidget* aBox) { qobject_cast<QMessageBox*>(aBox)->accept(); });
  ASSERT_TRUE(run.Start()) << run.Dump();
  ASSERT_TRUE(Spin([&] { return ok.Answered(); }));
  EXPECT_EQ(ok.Text().toStdString(), "File not found: " + ini);
  EXPECT_EQ(run.ViewCount("Fatal: File not found: " + ini), 1) << run.Dump();
  EXPECT_EQ(run.ViewCount("Trace: Initialization done"), 0);

  // Still running: the buttons work, and a check by hand is still a cycle.
  run.Window().btSendReport->click();
  EXPECT_EQ(run.ViewCount("Info:  ...done"), 1) << run.Dump();
  run.Controller().CheckIntervalTimerEvent(nullptr);
  EXPECT_NE(run.Window().lblLastUpdate->text(), "Timestamp of the last update");
  run.Finish();
  EXPECT_EQ(run.FileLines().back(), "Info:  Application closed");
}

// Closing the console by hand ends the event loop (it is the last window),
// and the end then runs in order to the closing line.
TEST(ConsoleWindowTest, ClosingTheWindowEndsTheLoopAndTheProgramInOrder) {
  ConsoleRun run(kQuietIni);
  ASSERT_TRUE(run.Start()) << run.Dump();
  ASSERT_TRUE(QApplication::quitOnLastWindowClosed());
  bool closedByHand = false;
  bool timedOut = false;
  QTimer::singleShot(0, [&] { closedByHand = run.Window().close(); });
  // A timer of this scope, so that it cannot fire after the test.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    timedOut = true;
    QCoreApplication::quit();
  });
  guard.start(10000);
  QCoreApplication::exec();
  EXPECT_TRUE(closedByHand);
  EXPECT_FALSE(timedOut) << "closing the window did not end the loop";
  run.Finish();
  EXPECT_EQ(run.FileLines().back(), "Info:  Application closed");
}

}  // namespace
}  // namespace tavo::test
