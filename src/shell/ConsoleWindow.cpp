#include "shell/ConsoleWindow.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "accounting/Client.h"
#include "shell/ConsoleActions.h"
#include "shell/Guard.h"

namespace tavo {
namespace {

QString Q(const std::string& aText) {
  return QString::fromStdString(aText);
}

// Each "\r\n" (and a lone CR or LF) ends a line; the parts in order.
QStringList TextLines(const std::string& aText) {
  QString text = Q(aText);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text.split(QLatin1Char('\n'));
}

}  // namespace

TConsoleWindow::TConsoleWindow(QWidget* aParent) : QMainWindow(aParent) {
  CreateControls();
}

TConsoleWindow::~TConsoleWindow() = default;

void TConsoleWindow::CreateControls() {
  setObjectName(QStringLiteral("frmMain"));

  // Created in the order of their fields; parented by the layouts
  // below.
  Memo1 = new QPlainTextEdit;
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);  // selectable and copyable, e.g. a passcode
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setFocusPolicy(Qt::ClickFocus);  // no tab stop
  Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

  StatusBar1 = new QStatusBar;
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(true);

  Panel1 = new QFrame;
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameShape(QFrame::NoFrame);

  btClientCheck = new QPushButton(QStringLiteral("Manual Client Check"));
  btClientCheck->setObjectName(QStringLiteral("btClientCheck"));
  btClientCheck->setStatusTip(QStringLiteral("Run manual client check"));
  btClientCheck->setVisible(false);

  Label3 = new QLabel(QStringLiteral("Last Check:"));
  Label3->setObjectName(QStringLiteral("Label3"));
  lblLastUpdate = new QLabel(QStringLiteral("Timestamp of the last update"));
  lblLastUpdate->setObjectName(QStringLiteral("lblLastUpdate"));

  gbClients = new QGroupBox(QStringLiteral("Clients"));
  gbClients->setObjectName(QStringLiteral("gbClients"));

  Memo2 = new QPlainTextEdit;
  Memo2->setObjectName(QStringLiteral("Memo2"));
  Memo2->setReadOnly(true);
  Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo2->setFocusPolicy(Qt::ClickFocus);
  Memo2->setPlainText(QStringLiteral("Read client counters by button [Read Counters]"));

  cboClients = new QComboBox;  // not editable: selection only
  cboClients->setObjectName(QStringLiteral("cboClients"));
  cboClients->setStatusTip(QStringLiteral("List of defined clients"));
  cboClients->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cboClients->setMinimumContentsLength(16);

  btReadCounter = new QPushButton(QStringLiteral("Read Counters"));
  btReadCounter->setObjectName(QStringLiteral("btReadCounter"));
  btReadCounter->setStatusTip(QStringLiteral("Read selected clients message counter(s)"));

  btIncMessage = new QPushButton(QStringLiteral("Increment Message"));
  btIncMessage->setObjectName(QStringLiteral("btIncMessage"));
  btIncMessage->setStatusTip(QStringLiteral("Increment selected clients message counter"));

  tbClientEventId = new QLineEdit(QStringLiteral("10"));
  tbClientEventId->setObjectName(QStringLiteral("tbClientEventId"));
  tbClientEventId->setStatusTip(QStringLiteral("Message ID"));
  tbClientEventId->setFixedWidth(48);
  // Ten digits hold every positive 32-bit id; a larger number reads as no
  // id, and the button then does nothing.
  tbClientEventId->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9]{0,10}")), tbClientEventId));

  gbRecipients = new QGroupBox(QStringLiteral("Recipients"));
  gbRecipients->setObjectName(QStringLiteral("gbRecipients"));

  cboRecipients = new QComboBox;
  cboRecipients->setObjectName(QStringLiteral("cboRecipients"));
  cboRecipients->setStatusTip(QStringLiteral("List of defined recipients"));
  cboRecipients->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cboRecipients->setMinimumContentsLength(16);

  btSendReport = new QPushButton(QStringLiteral("Send Test Report"));
  btSendReport->setObjectName(QStringLiteral("btSendReport"));
  btSendReport->setStatusTip(QStringLiteral("Send test report to selected receipient"));

  btEncodePwd = new QPushButton(QStringLiteral("Password Encoder"));
  btEncodePwd->setObjectName(QStringLiteral("btEncodePwd"));
  btEncodePwd->setStatusTip(QStringLiteral("Encode password to passcode"));

  Splitter1 = new QSplitter(Qt::Vertical);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setHandleWidth(3);
  Splitter1->setChildrenCollapsible(false);

  // Recipients: the selector and its two buttons in a row.
  auto* recipientsRow = new QHBoxLayout(gbRecipients);
  recipientsRow->setContentsMargins(6, 4, 6, 4);
  recipientsRow->addWidget(cboRecipients, 1);
  recipientsRow->addWidget(btSendReport);
  recipientsRow->addWidget(btEncodePwd);

  // Clients: selector, buttons and the id box in a row, the read-out below.
  auto* clientsBox = new QVBoxLayout(gbClients);
  clientsBox->setContentsMargins(6, 4, 6, 4);
  clientsBox->setSpacing(4);
  auto* clientsRow = new QHBoxLayout;
  clientsRow->addWidget(cboClients, 1);
  clientsRow->addWidget(btReadCounter);
  clientsRow->addWidget(btIncMessage);
  clientsRow->addWidget(tbClientEventId);
  clientsBox->addLayout(clientsRow);
  clientsBox->addWidget(Memo2, 1);

  auto* checkRow = new QHBoxLayout;
  checkRow->addWidget(Label3);
  checkRow->addWidget(lblLastUpdate);
  checkRow->addStretch(1);
  checkRow->addWidget(btClientCheck);

  auto* panelBox = new QVBoxLayout(Panel1);
  panelBox->setContentsMargins(4, 2, 4, 2);
  panelBox->setSpacing(2);
  panelBox->addWidget(gbRecipients);
  panelBox->addWidget(gbClients, 1);
  panelBox->addLayout(checkRow);

  Splitter1->addWidget(Panel1);
  Splitter1->addWidget(Memo1);
  Splitter1->setStretchFactor(0, 0);  // the log view takes what the window gains
  Splitter1->setStretchFactor(1, 1);
  setCentralWidget(Splitter1);
  setStatusBar(StatusBar1);

  // QMainWindow's geometry excludes the frame: this is the client area.
  resize(kClientWidth, kClientHeight);
  Splitter1->setSizes({kPanelHeight, kClientHeight - kPanelHeight});

  connect(btSendReport, &QPushButton::clicked, this,
          [this] { Guarded([this] { btSendReportClick(); }); });
  connect(btEncodePwd, &QPushButton::clicked, this,
          [this] { Guarded([this] { btEncodePwdClick(); }); });
  connect(btReadCounter, &QPushButton::clicked, this,
          [this] { Guarded([this] { btReadCounterClick(); }); });
  connect(btIncMessage, &QPushButton::clicked, this,
          [this] { Guarded([this] { btIncMessageClick(); }); });
  connect(btClientCheck, &QPushButton::clicked, this,
          [this] { Guarded([this] { btClientCheckClick(); }); });
}

void TConsoleWindow::ShowCentred() {
  const auto centre = [this] {
    if (const QScreen* screen = this->screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  };
  centre();
  show();
  centre();  // the frame is known only once the window is shown
}

void TConsoleWindow::SetLogViewVisible(bool aVisible) {
  fbLogViewVisible = aVisible;
  Memo1->setVisible(aVisible);
}

void TConsoleWindow::SetCaption(const std::string& aCaption) {
  setWindowTitle(Q(aCaption));
}

void TConsoleWindow::SetLastUpdate(const std::string& aText) {
  lblLastUpdate->setText(Q(aText));
}

std::int32_t TConsoleWindow::LogViewLineCount() const {
  const QTextDocument* doc = Memo1->document();
  // An empty view still has its one empty block.
  if (doc->blockCount() == 1 && doc->firstBlock().length() <= 1)
    return 0;
  return doc->blockCount();
}

void TConsoleWindow::AppendLogLine(const std::string& aLine) {
  AppendToLogView(aLine);
}

void TConsoleWindow::AppendToLogView(const std::string& aText) {
  const std::int32_t excess = LogViewExcess(LogViewLineCount(), aText);
  if (excess > 0) {
    QTextCursor cursor(Memo1->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, excess);
    cursor.removeSelectedText();
  }
  Memo1->appendPlainText(TextLines(aText).join(QLatin1Char('\n')));
}

void TConsoleWindow::FillConsoleLists() {
  cboRecipients->clear();
  for (const std::string& name : RecipientNames())
    cboRecipients->addItem(Q(name));
  if (cboRecipients->count() > 0)
    cboRecipients->setCurrentIndex(0);

  // Position k in the selector is position k in the client list.
  cboClients->clear();
  if (fController) {
    for (const auto& entry : fController->Clients())
      cboClients->addItem(Q(entry.second->Name()));
  }
  if (cboClients->count() > 0)
    cboClients->setCurrentIndex(0);

  btClientCheck->setVisible(ManualCheckShown(fController));
}

void TConsoleWindow::btSendReportClick() {
  SendTestReport(cboRecipients->currentText().toStdString(),
                 fController ? fController->Caption() : windowTitle().toStdString());
}

void TConsoleWindow::btEncodePwdClick() {
  bool ok = false;
  const QString password =
      QInputDialog::getText(this, QStringLiteral("Password Encoder "),
                            QStringLiteral("Enter Password"), QLineEdit::Normal, QString(), &ok);
  if (!ok || password.isEmpty())
    return;
  Memo1->clear();
  // Straight into the view: no time stamp, and never into the log file.
  AppendToLogView(PasscodeLine(password.toStdString()));
}

TClient* TConsoleWindow::SelectedClient() const {
  return ClientAt(fController, cboClients->currentIndex());
}

void TConsoleWindow::btReadCounterClick() {
  TClient* client = SelectedClient();
  if (!client)
    return;
  Memo2->clear();
  Memo2->appendPlainText(Q(CounterHeading(cboClients->currentText().toStdString())));
  Memo2->appendPlainText(TextLines(client->ReadCounter()).join(QLatin1Char('\n')));
}

void TConsoleWindow::btIncMessageClick() {
  TClient* client = SelectedClient();
  if (!client)
    return;
  SimulateClientEvent(*client, cboClients->currentText().toStdString(),
                      tbClientEventId->text().toStdString());
}

void TConsoleWindow::btClientCheckClick() {
  RunManualClientCheck(fController);
}

}  // namespace tavo
