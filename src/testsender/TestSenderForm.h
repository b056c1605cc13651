#pragma once
// The window of TavoT: the target, the SNMP credentials, the base OID, the
// message id and text, and two buttons that each send one test trap. The
// controls carry their own names as object names (tbHost, ...,
// Label1), so tests find them with findChild.
//
// A send that raises an error (an empty password where the level needs one)
// shows the error's text through ShowMessageBox (platform/MessageBox.h),
// sends nothing and leaves the counter alone. Network problems go unnoticed
// and count as sent, as with any UDP sender. Main thread only; no exception
// leaves a slot.

#include <QWidget>

#include "testsender/TestTraps.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavo {

class TfrmTestSender : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmTestSender(QWidget* aParent = nullptr);

  // The current field contents as trap settings.
  TTestTrapSettings Settings() const;
  int Counter() const { return fnCounter; }

  void btSendSnmpV1Click();
  void btSendSnmpV3Click();

 private:
  // Runs one send; counts it when it returned.
  void SendGuarded(bool (*aSend)(const TTestTrapSettings&));
  void CenterOnScreen();

  int fnCounter = 0;
  QLineEdit* tbHost;
  QLineEdit* tbPort;
  QLineEdit* tbCommunity;
  QLineEdit* tbUserName;
  QLineEdit* tbUserPwd;
  QComboBox* cboQueryFlags;
  QLineEdit* tbOid;
  QLineEdit* tbMsgId;
  QLineEdit* tbMsgText;
  QPushButton* btSendSnmpV1;
  QPushButton* btSendSnmpV3;
  QLabel* Label1;
};

}  // namespace tavo
