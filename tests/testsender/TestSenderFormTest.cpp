// The window of TavoT under QT_QPA_PLATFORM=offscreen: its controls, and
// what its buttons put on the wire, read back from a UDP socket.

#include "testsender/TestSenderForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <string>
#include <vector>

#include "ByteText.h"
#include "TestSupport.h"
#include "UdpListener.h"
#include "snmp/BerEncoding.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

using test::Hex;

// The msgID of an SNMPv3 message: the first item of its header.
std::string MsgIdOf(const std::string& aBytes) {
  std::size_t pos = 0;
  std::int32_t tag = 0;
  BerReadItemShallow(aBytes, pos, tag);  // message
  BerReadItem(aBytes, pos, tag);         // version
  BerReadItemShallow(aBytes, pos, tag);  // header
  return BerReadItem(aBytes, pos, tag);
}

class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "TestSenderFormTest";
    static char* argv[] = {name, nullptr};
    fApp = new QApplication(argc, argv);
  }
  void TearDown() override { delete fApp; }

 private:
  QApplication* fApp = nullptr;
};
const auto* const kQt = testing::AddGlobalTestEnvironment(new QtEnvironment);

template <class T>
T* Child(QWidget& aForm, const char* aName) {
  T* child = aForm.findChild<T*>(aName);
  if (!child)
    ADD_FAILURE() << "no control " << aName;
  return child;
}

class TestSenderFormTest : public testing::Test {
 protected:
  TestSenderFormTest() {
    Child<QLineEdit>(fForm, "tbPort")->setText(QString::number(fListener.Port()));
  }
  void Click(const char* aButton) {
    QTest::mouseClick(Child<QPushButton>(fForm, aButton), Qt::LeftButton);
  }
  QString Label() { return Child<QLabel>(fForm, "Label1")->text(); }

  test::BoxRecorder fBoxes;
  test::UdpListener fListener;
  TfrmTestSender fForm;
};

TEST_F(TestSenderFormTest, WindowAndControls) {
  EXPECT_EQ(fForm.windowTitle(), "Tavo SNMP Test Sender V1.10.01");
  EXPECT_EQ(fForm.size(), QSize(458, 285));
  EXPECT_EQ(fForm.minimumSize(), fForm.maximumSize());
  const Qt::WindowFlags flags = fForm.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

  const std::vector<std::pair<const char*, QString>> texts = {
      {"tbHost", "127.0.0.1"},
      {"tbPort", QString::number(fListener.Port())},
      {"tbCommunity", "public"},
      {"tbUserName", "TavoSnmpTrap"},
      {"tbUserPwd", "4TorfBalunixe!"},
      {"tbOid", "1.3.6.4.1.52814.8424"},
      {"tbMsgId", "100"},
      {"tbMsgText", QString::fromUtf8("Text mit Umlauten & Sonderzeichen ÄäàÜöé €$£")},
  };
  for (const auto& [name, text] : texts)
    EXPECT_EQ(Child<QLineEdit>(fForm, name)->text(), text) << name;
  EXPECT_EQ(Child<QPushButton>(fForm, "btSendSnmpV1")->text(), "Send SNMPv1");
  EXPECT_EQ(Child<QPushButton>(fForm, "btSendSnmpV3")->text(), "Send SNMPv3");
  EXPECT_EQ(Label(), "Traps sent: 0");
  EXPECT_TRUE(Child<QLabel>(fForm, "Label1")->alignment() & Qt::AlignRight);

  QLineEdit* pwd = Child<QLineEdit>(fForm, "tbUserPwd");
  EXPECT_EQ(pwd->echoMode(), QLineEdit::Password);
  EXPECT_EQ(pwd->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, pwd), '*');

  QComboBox* type = Child<QComboBox>(fForm, "cboQueryFlags");
  EXPECT_FALSE(type->isEditable());
  ASSERT_EQ(type->count(), 3);
  EXPECT_EQ(type->itemText(0), "NoAuthNoPriv");
  EXPECT_EQ(type->itemText(1), "AuthNoPriv");
  EXPECT_EQ(type->itemText(2), "AuthPriv");
  EXPECT_EQ(type->currentText(), "AuthNoPriv");

  // The port takes digits only.
  QLineEdit* port = Child<QLineEdit>(fForm, "tbPort");
  port->clear();
  QTest::keyClicks(port, "5a5-1x62");
  EXPECT_EQ(port->text(), "55162");
}

TEST_F(TestSenderFormTest, KeyboardOrder) {
  const std::vector<std::string> expected = {
      "tbHost", "tbPort",  "tbCommunity", "tbUserName",   "tbUserPwd",   "cboQueryFlags",
      "tbOid",  "tbMsgId", "tbMsgText",   "btSendSnmpV1", "btSendSnmpV3"};
  std::vector<std::string> order;
  QWidget* w = Child<QLineEdit>(fForm, "tbHost");
  for (int guard = 0; w && guard < 100 && order.size() < expected.size(); ++guard) {
    if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty()) {
      order.push_back(w->objectName().toStdString());
    }
    w = w->nextInFocusChain();
  }
  EXPECT_EQ(order, expected);
}

TEST_F(TestSenderFormTest, SendSnmpV1WithTheDefaults) {
  Click("btSendSnmpV1");
  const std::string bytes = fListener.Receive();
  TSNMPRec rec;
  ASSERT_TRUE(rec.DecodeBuf(bytes));
  EXPECT_EQ(rec.FVersion, 0);
  EXPECT_EQ(rec.FCommunity, "public");
  EXPECT_EQ(rec.FPDUType, kPduTrapV1);
  EXPECT_EQ(rec.FOldTrapEnterprise, "1.3.6.4.1.52814.8424.0");
  EXPECT_EQ(rec.FOldTrapGen, 6);
  EXPECT_EQ(rec.FOldTrapSpec, 8424);
  EXPECT_EQ(rec.FOldTrapHost, "0.0.0.0");
  ASSERT_EQ(rec.MIBCount(), 2);
  EXPECT_EQ(rec.MIBByIndex(0)->FOID, "1.3.6.4.1.52814.8424.1");
  EXPECT_EQ(rec.MIBByIndex(0)->FValue, "100");
  EXPECT_EQ(rec.MIBByIndex(0)->FValueType, kBerInteger);
  EXPECT_EQ(rec.MIBByIndex(1)->FOID, "1.3.6.4.1.52814.8424.2");
  EXPECT_EQ(rec.MIBByIndex(1)->FValueType, kBerOctetString);
  // "Text mit Umlauten & Sonderzeichen ÄäàÜöé €$£" in Windows-1252.
  EXPECT_EQ(Hex(rec.MIBByIndex(1)->FValue),
            Hex("Text mit Umlauten & Sonderzeichen ") + " C4 E4 E0 DC F6 E9 20 80 24 A3");
  EXPECT_EQ(Label(), "Traps send: 1");
  EXPECT_TRUE(fBoxes.Boxes.empty());
}

TEST_F(TestSenderFormTest, SendSnmpV3WithTheDefaults) {
  Click("btSendSnmpV1");
  fListener.Receive();
  Click("btSendSnmpV3");
  const std::string bytes = fListener.Receive();
  TSNMPRec rec;
  ASSERT_TRUE(rec.DecodeBuf(bytes));
  EXPECT_EQ(rec.FVersion, 3);
  EXPECT_EQ(rec.FPDUType, kPduTrapV2);
  EXPECT_EQ(MsgIdOf(bytes), "1");
  EXPECT_EQ(rec.FID, 1);
  EXPECT_EQ(rec.FAuthEngineID, "");
  EXPECT_EQ(rec.FUserName, "TavoSnmpTrap");
  EXPECT_EQ(rec.FFlags, TV3Flags::AuthNoPriv);
  EXPECT_FALSE(rec.FFlagReportable);
  EXPECT_TRUE(VerifyAuthentication(bytes, TV3Auth::AuthMD5, "4TorfBalunixe!"));
  ASSERT_EQ(rec.MIBCount(), 3);
  EXPECT_EQ(rec.MIBByIndex(0)->FOID, "1.3.6.4.1.52814.8424.0");
  EXPECT_EQ(rec.MIBByIndex(0)->FValueType, kBerNull);
  EXPECT_EQ(rec.MIBGet("1.3.6.4.1.52814.8424.1"), "100");
  EXPECT_EQ(Label(), "Traps send: 2");
}

TEST_F(TestSenderFormTest, MessageIdThatIsNoNumberGoesOutAsZero) {
  Child<QLineEdit>(fForm, "tbMsgId")->setText("abc");
  Click("btSendSnmpV3");
  TSNMPRec rec;
  ASSERT_TRUE(rec.DecodeBuf(fListener.Receive()));
  EXPECT_EQ(rec.MIBGet("1.3.6.4.1.52814.8424.1"), "0");
  EXPECT_EQ(rec.MIBByIndex(1)->FValueType, kBerInteger);
}

TEST_F(TestSenderFormTest, OtherLevels) {
  QComboBox* type = Child<QComboBox>(fForm, "cboQueryFlags");
  type->setCurrentIndex(0);
  Click("btSendSnmpV3");
  TSNMPRec rec;
  ASSERT_TRUE(rec.DecodeBuf(fListener.Receive()));
  EXPECT_EQ(rec.FFlags, TV3Flags::NoAuthNoPriv);

  // AuthPriv carries the default receiver's privacy password.
  type->setCurrentIndex(2);
  Click("btSendSnmpV3");
  rec.FPrivPassword = "QuastelbrinkSorgenlaufwer";
  ASSERT_TRUE(rec.DecodeBuf(fListener.Receive()));
  EXPECT_EQ(rec.FFlags, TV3Flags::AuthPriv);
  EXPECT_EQ(rec.MIBGet("1.3.6.4.1.52814.8424.1"), "100");
  EXPECT_EQ(Label(), "Traps send: 2");
}

TEST_F(TestSenderFormTest, EmptyPasswordShowsTheErrorAndKeepsTheCounter) {
  Click("btSendSnmpV1");
  fListener.Receive();
  Child<QLineEdit>(fForm, "tbUserPwd")->clear();
  Click("btSendSnmpV3");
  ASSERT_EQ(fBoxes.Boxes.size(), 1u);
  EXPECT_EQ(fBoxes.Boxes[0].Icon, TMsgBoxIcon::eError);
  EXPECT_EQ(fBoxes.Boxes[0].Text, "SNMPv3 authentication password is empty");
  EXPECT_EQ(Label(), "Traps send: 1");
  EXPECT_EQ(fForm.Counter(), 1);
  EXPECT_TRUE(fListener.Quiet());
}

TEST_F(TestSenderFormTest, NetworkProblemsGoUnnoticed) {
  Child<QLineEdit>(fForm, "tbHost")->setText("no-such-host.invalid");
  Click("btSendSnmpV1");
  EXPECT_TRUE(fBoxes.Boxes.empty());
  EXPECT_EQ(Label(), "Traps send: 1");
}

// A picture of the window for people to look at; the build folder gets it.
TEST_F(TestSenderFormTest, Screenshot) {
  Child<QLineEdit>(fForm, "tbPort")->setText("55162");
  fForm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&fForm, 5000));
  const QString dir = TAVO_SCREENSHOT_DIR;
  ASSERT_TRUE(QDir().mkpath(dir));
  const QPixmap shot = fForm.grab();
  EXPECT_EQ(shot.size(), QSize(458, 285) * shot.devicePixelRatio());
  EXPECT_TRUE(shot.save(dir + "/tavot.png", "PNG"));
}

}  // namespace
}  // namespace tavo
