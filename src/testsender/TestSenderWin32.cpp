#include "testsender/TestSenderWin32.h"

#include <algorithm>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/Win32MainLoop.h"

namespace tavo {
namespace {

using K = TControlKind;

// In keyboard order: the header's fields, the body's, then the buttons.
// The labels and groups take no focus; the design leaves the labels
// unnamed, the names here only place them.
std::vector<TControlSpec> TestSenderControls() {
  const TTestTrapSettings d;
  const auto C = [](const char* aName, TControlKind aKind, const std::string& aText = {}) {
    TControlSpec spec;
    spec.Name = aName;
    spec.Kind = aKind;
    spec.Text = aText;
    return spec;
  };
  return {
      C("gbHeader", K::eGroupBox, "Header"),
      C("lbAddress", K::eLabel, "Address and Port: "),
      C("tbHost", K::eEdit, d.Host),
      C("tbPort", K::eDigitsEdit, d.Port),
      C("lbCommunity", K::eLabel, "SNMPv1 - Community"),
      C("tbCommunity", K::eEdit, d.Community),
      C("lbUser", K::eLabel, "SNMPv3 - User and Password:"),
      C("tbUserName", K::eEdit, d.UserName),
      C("tbUserPwd", K::ePasswordEdit, d.UserPwd),
      C("lbType", K::eLabel, "SNMPv3 - Type:"),
      C("cboQueryFlags", K::eDropDownList),
      C("gbBody", K::eGroupBox, "Body"),
      C("lbOid", K::eLabel, "Object Identifier (OID):"),
      C("tbOid", K::eEdit, d.Oid),
      C("lbOidSuffix", K::eLabel, ".0  (MIB 0):"),
      C("lbMsgId", K::eLabel, "Message ID (MIB 1):"),
      C("tbMsgId", K::eEdit, d.MsgId),
      C("lbMsgText", K::eLabel, "Text (MIB 2):"),
      C("tbMsgText", K::eEdit, d.MsgText),
      C("btSendSnmpV1", K::eButton, "Send SNMPv1"),
      C("btSendSnmpV3", K::eButton, "Send SNMPv3"),
      C("Label1", K::eLabelRight, "Traps sent: 0"),
  };
}

}  // namespace

TfrmTestSenderWin32::TfrmTestSenderWin32()
    : fForm(std::make_unique<TWin32Form>(TFormSpec{"Tavo SNMP Test Sender V1.10.01", kClientWidth,
                                                   kClientHeight, false, "TfrmTestSender"},
                                         TestSenderControls())) {
  TWin32Form& f = *fForm;
  for (const char* level : kSecurityLevelNames)
    f.AddItem("cboQueryFlags", level);
  f.SetItemIndex("cboQueryFlags", static_cast<int>(TTestTrapSettings().Flags));
  f.OnLayout = [this](int, int) {
    TWin32Form& form = *fForm;
    constexpr int kLabelX = 18, kFieldX = 196, kField = 164, kSmallX = 366, kSmall = 76;
    form.Place("gbHeader", 8, 4, 442, 126);
    const int header[] = {24, 51, 78, 105};
    form.Place("tbHost", kFieldX, header[0], kField, 23);
    form.Place("tbPort", kSmallX, header[0], kSmall, 23);
    form.Place("tbCommunity", kFieldX, header[1], kField, 23);
    form.Place("tbUserName", kFieldX, header[2], kField, 23);
    form.Place("tbUserPwd", kSmallX, header[2], kSmall, 23);
    form.Place("cboQueryFlags", kFieldX, header[3], kField, 23);
    form.Place("gbBody", 8, 134, 442, 100);
    const int body[] = {154, 181, 208};
    form.Place("tbOid", kFieldX, body[0], kField, 23);
    form.Place("tbMsgId", kFieldX, body[1], kField, 23);
    form.Place("tbMsgText", kFieldX, body[2], kSmallX + kSmall - kFieldX, 23);
    form.Place("btSendSnmpV1", 8, 246, 110, 28);
    form.Place("btSendSnmpV3", 124, 246, 110, 28);
    form.Place("Label1", 240, 252, 210, 18);
    form.Place("lbAddress", kLabelX, header[0] + 3, kFieldX - kLabelX - 4, 18);
    form.Place("lbCommunity", kLabelX, header[1] + 3, kFieldX - kLabelX - 4, 18);
    form.Place("lbUser", kLabelX, header[2] + 3, kFieldX - kLabelX - 4, 18);
    form.Place("lbType", kLabelX, header[3] + 3, kFieldX - kLabelX - 4, 18);
    form.Place("lbOid", kLabelX, body[0] + 3, kFieldX - kLabelX - 4, 18);
    form.Place("lbOidSuffix", kSmallX + 4, body[0] + 3, kSmall, 18);
    form.Place("lbMsgId", kLabelX, body[1] + 3, kFieldX - kLabelX - 4, 18);
    form.Place("lbMsgText", kLabelX, body[2] + 3, kFieldX - kLabelX - 4, 18);
  };
  f.SetOnClick("btSendSnmpV1", [this] { btSendSnmpV1Click(); });
  f.SetOnClick("btSendSnmpV3", [this] { btSendSnmpV3Click(); });
  f.Relayout();
}

TTestTrapSettings TfrmTestSenderWin32::Settings() const {
  const TWin32Form& f = *fForm;
  TTestTrapSettings s;
  s.Host = f.Text("tbHost");
  s.Port = f.Text("tbPort");
  s.Community = f.Text("tbCommunity");
  s.UserName = f.Text("tbUserName");
  s.UserPwd = f.Text("tbUserPwd");
  s.Flags = static_cast<TV3Flags>(std::max(0, f.ItemIndex("cboQueryFlags")));
  s.Oid = f.Text("tbOid");
  s.MsgId = f.Text("tbMsgId");
  s.MsgText = f.Text("tbMsgText");
  return s;
}

void TfrmTestSenderWin32::btSendSnmpV1Click() {
  SendGuarded(SendTestTrapV1);
}

void TfrmTestSenderWin32::btSendSnmpV3Click() {
  SendGuarded(SendTestTrapV3);
}

void TfrmTestSenderWin32::SendGuarded(bool (*aSend)(const TTestTrapSettings&)) {
  const std::string error = SendForWindow(aSend, Settings());
  if (!error.empty()) {
    ShowMessageBox(TMsgBoxIcon::eError, error);
    return;
  }
  ++fnCounter;
  fForm->SetText("Label1", TrapsSentText(fnCounter));
}

int RunTestSenderWindow() {
  TWin32MainLoop loop;
  TfrmTestSenderWin32 window;
  TWin32Form& form = window.Form();
  // Boxes over the window, titled as the program.
  const TMessageBoxHandler previous =
      SetMessageBoxHandler([&form](TMsgBoxIcon aIcon, const std::string& aText) {
        form.ShowBox(aIcon, "tavot", aText);
      });
  form.OnClose = [&loop] { loop.Quit(); };
  loop.SetDialogWindow(form.Handle());
  form.ShowCentred();
  form.SetFocus("tbHost");
  loop.Run();
  loop.SetDialogWindow(nullptr);
  SetMessageBoxHandler(previous);
  return 0;
}

}  // namespace tavo
