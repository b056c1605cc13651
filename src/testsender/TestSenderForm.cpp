#include "testsender/TestSenderForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/MessageBox.h"

namespace tavo {
namespace {

constexpr int kClientWidth = 458;
constexpr int kClientHeight = 285;

// Shows passwords as '*', whatever the platform's style would use.
class TStarPasswordStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int styleHint(StyleHint aHint, const QStyleOption* aOption, const QWidget* aWidget,
                QStyleHintReturn* aReturn) const override {
    if (aHint == SH_LineEdit_PasswordCharacter)
      return '*';
    return QProxyStyle::styleHint(aHint, aOption, aWidget, aReturn);
  }
};

QString Q(const std::string& aUtf8) {
  return QString::fromUtf8(aUtf8.c_str());
}
std::string S(const QString& aText) {
  return aText.toUtf8().toStdString();
}

template <class T>
T* Named(T* aWidget, const char* aName) {
  aWidget->setObjectName(aName);
  return aWidget;
}

}  // namespace

TfrmTestSender::TfrmTestSender(QWidget* aParent)
    : QWidget(aParent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  const TTestTrapSettings d;
  setObjectName("frmTestSender");
  setWindowTitle("Tavo SNMP Test Sender V1.10.01");

  tbHost = Named(new QLineEdit(Q(d.Host)), "tbHost");
  tbPort = Named(new QLineEdit(Q(d.Port)), "tbPort");
  tbPort->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), tbPort));
  tbPort->setMaximumWidth(70);
  tbCommunity = Named(new QLineEdit(Q(d.Community)), "tbCommunity");
  tbUserName = Named(new QLineEdit(Q(d.UserName)), "tbUserName");
  tbUserPwd = Named(new QLineEdit(Q(d.UserPwd)), "tbUserPwd");
  auto* starStyle = new TStarPasswordStyle();
  starStyle->setParent(tbUserPwd);
  tbUserPwd->setStyle(starStyle);
  tbUserPwd->setEchoMode(QLineEdit::Password);
  cboQueryFlags = Named(new QComboBox(), "cboQueryFlags");
  cboQueryFlags->setEditable(false);
  for (const char* level : kSecurityLevelNames)
    cboQueryFlags->addItem(level);
  cboQueryFlags->setCurrentIndex(static_cast<int>(d.Flags));

  tbOid = Named(new QLineEdit(Q(d.Oid)), "tbOid");
  tbMsgId = Named(new QLineEdit(Q(d.MsgId)), "tbMsgId");
  tbMsgText = Named(new QLineEdit(Q(d.MsgText)), "tbMsgText");
  btSendSnmpV1 = Named(new QPushButton("Send SNMPv1"), "btSendSnmpV1");
  btSendSnmpV3 = Named(new QPushButton("Send SNMPv3"), "btSendSnmpV3");
  Label1 = Named(new QLabel("Traps sent: 0"), "Label1");
  Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* header = Named(new QGroupBox("Header"), "gbHeader");
  auto* h = new QGridLayout(header);
  h->setVerticalSpacing(3);
  h->addWidget(new QLabel("Address and Port: "), 0, 0);
  h->addWidget(tbHost, 0, 1);
  h->addWidget(tbPort, 0, 2);
  h->addWidget(new QLabel("SNMPv1 - Community"), 1, 0);
  h->addWidget(tbCommunity, 1, 1);
  h->addWidget(new QLabel("SNMPv3 - User and Password:"), 2, 0);
  h->addWidget(tbUserName, 2, 1);
  h->addWidget(tbUserPwd, 2, 2);
  h->addWidget(new QLabel("SNMPv3 - Type:"), 3, 0);
  h->addWidget(cboQueryFlags, 3, 1);
  h->setColumnStretch(1, 1);

  auto* body = Named(new QGroupBox("Body"), "gbBody");
  auto* b = new QGridLayout(body);
  b->setVerticalSpacing(3);
  b->addWidget(new QLabel("Object Identifier (OID):"), 0, 0);
  b->addWidget(tbOid, 0, 1);
  b->addWidget(new QLabel(".0  (MIB 0):"), 0, 2);
  b->addWidget(new QLabel("Message ID (MIB 1):"), 1, 0);
  b->addWidget(tbMsgId, 1, 1);
  b->addWidget(new QLabel("Text (MIB 2):"), 2, 0);
  b->addWidget(tbMsgText, 2, 1, 1, 2);
  b->setColumnStretch(1, 1);

  auto* bottom = new QHBoxLayout();
  bottom->addWidget(btSendSnmpV1);
  bottom->addWidget(btSendSnmpV3);
  bottom->addWidget(Label1, 1);

  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(8, 6, 8, 8);
  main->setSpacing(4);
  main->addWidget(header);
  main->addWidget(body);
  main->addLayout(bottom);

  // Keyboard order: the header's fields, the body's, then the buttons.
  QWidget* order[] = {tbHost, tbPort,  tbCommunity, tbUserName,   tbUserPwd,   cboQueryFlags,
                      tbOid,  tbMsgId, tbMsgText,   btSendSnmpV1, btSendSnmpV3};
  for (std::size_t i = 1; i < std::size(order); ++i)
    setTabOrder(order[i - 1], order[i]);

  connect(btSendSnmpV1, &QPushButton::clicked, this, [this] { btSendSnmpV1Click(); });
  connect(btSendSnmpV3, &QPushButton::clicked, this, [this] { btSendSnmpV3Click(); });

  // Long texts show their beginning, not their end.
  for (QLineEdit* edit : findChildren<QLineEdit*>())
    edit->setCursorPosition(0);

  setFixedSize(kClientWidth, kClientHeight);
  CenterOnScreen();
  tbHost->setFocus();
}

TTestTrapSettings TfrmTestSender::Settings() const {
  TTestTrapSettings s;
  s.Host = S(tbHost->text());
  s.Port = S(tbPort->text());
  s.Community = S(tbCommunity->text());
  s.UserName = S(tbUserName->text());
  s.UserPwd = S(tbUserPwd->text());
  s.Flags = static_cast<TV3Flags>(std::max(0, cboQueryFlags->currentIndex()));
  s.Oid = S(tbOid->text());
  s.MsgId = S(tbMsgId->text());
  s.MsgText = S(tbMsgText->text());
  return s;
}

void TfrmTestSender::btSendSnmpV1Click() {
  SendGuarded(SendTestTrapV1);
}

void TfrmTestSender::btSendSnmpV3Click() {
  SendGuarded(SendTestTrapV3);
}

void TfrmTestSender::SendGuarded(bool (*aSend)(const TTestTrapSettings&)) {
  const std::string error = SendForWindow(aSend, Settings());
  if (!error.empty()) {
    ShowMessageBox(TMsgBoxIcon::eError, error);
    return;
  }
  ++fnCounter;
  Label1->setText(Q(TrapsSentText(fnCounter)));
}

void TfrmTestSender::CenterOnScreen() {
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
}

}  // namespace tavo
