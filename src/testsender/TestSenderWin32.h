#pragma once
// The window of TavoT on Windows: a native window (platform/Win32Form.h)
// with the controls, defaults and keyboard order of its window on Linux
// (testsender/TestSenderForm.h): the target, the SNMP credentials, the base
// OID, the message id and text, and two buttons that each send one test
// trap. The controls carry their own names (tbHost, ..., Label1).
//
// A send that raises an error (an empty password where the level needs one)
// shows the error's text through ShowMessageBox (platform/MessageBox.h),
// sends nothing and leaves the counter alone. Network problems go unnoticed
// and count as sent. Main thread only; Windows only.

#include <memory>

#include "platform/Win32Form.h"
#include "testsender/TestTraps.h"

namespace tavo {

class TfrmTestSenderWin32 {
 public:
  static constexpr int kClientWidth = 458;
  static constexpr int kClientHeight = 285;

  // Makes the window, hidden. Throws EOSError when it cannot be made.
  TfrmTestSenderWin32();

  // The current field contents as trap settings.
  TTestTrapSettings Settings() const;
  int Counter() const { return fnCounter; }
  TWin32Form& Form() const { return *fForm; }

  void btSendSnmpV1Click();
  void btSendSnmpV3Click();

 private:
  void SendGuarded(bool (*aSend)(const TTestTrapSettings&));

  std::unique_ptr<TWin32Form> fForm;
  int fnCounter = 0;
};

// tavot.exe without arguments: the window on the Win32 main loop until it
// closes. Returns the exit status.
int RunTestSenderWindow();

}  // namespace tavo
