// The window of TavoT as a native window under Wine, driven through its
// window messages: its controls and keyboard order, and what its buttons
// put on the wire, read back from a UDP socket.

#include "testsender/TestSenderWin32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ByteText.h"
#include "TestSupport.h"
#include "UdpListener.h"
#include "Win32Gui.h"
#include "platform/WideText.h"
#include "snmp/BerEncoding.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

using test::Hex;
using test::WindowText;

class TestSenderWin32Test : public testing::Test {
 protected:
  TestSenderWin32Test() { SetText("tbPort", std::to_string(fListener.Port())); }
  HWND Control(const std::string& aName) {
    return static_cast<HWND>(fForm.Form().ControlHandle(aName));
  }
  void SetText(const std::string& aName, const std::string& aText) {
    ::SetWindowTextW(Control(aName), Utf8ToWide(aText).c_str());
  }
  void Click(const char* aButton) { test::ClickButton(Control(aButton)); }
  std::string Label() { return WindowText(Control("Label1")); }
  // The operator picks an entry of the type list.
  void SelectType(int aIndex) {
    const HWND box = Control("cboQueryFlags");
    ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(aIndex), 0);
    ::SendMessageW(::GetParent(box), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(box), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(box));
  }

  test::BoxRecorder fBoxes;
  test::UdpListener fListener;
  TfrmTestSenderWin32 fForm;
};

TEST_F(TestSenderWin32Test, WindowControlsAndKeyboardOrder) {
  const HWND window = static_cast<HWND>(fForm.Form().Handle());
  EXPECT_EQ(WindowText(window), "Tavo SNMP Test Sender V1.10.01");
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, 458);
  EXPECT_EQ(client.bottom, 285);
  const LONG style = ::GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "a single border: the size stays";

  const std::vector<std::pair<const char*, std::string>> texts = {
      {"tbHost", "127.0.0.1"},
      {"tbPort", std::to_string(fListener.Port())},
      {"tbCommunity", "public"},
      {"tbUserName", "TavoSnmpTrap"},
      {"tbUserPwd", "4TorfBalunixe!"},
      {"tbOid", "1.3.6.4.1.52814.8424"},
      {"tbMsgId", "100"},
      {"tbMsgText", "Text mit Umlauten & Sonderzeichen ÄäàÜöé €$£"},
      {"btSendSnmpV1", "Send SNMPv1"},
      {"btSendSnmpV3", "Send SNMPv3"},
      {"Label1", "Traps sent: 0"},
  };
  for (const auto& [name, text] : texts)
    EXPECT_EQ(WindowText(Control(name)), text) << name;
  EXPECT_TRUE(::GetWindowLongW(Control("Label1"), GWL_STYLE) & SS_RIGHT);
  EXPECT_EQ(::SendMessageW(Control("tbUserPwd"), EM_GETPASSWORDCHAR, 0, 0), '*');

  const HWND type = Control("cboQueryFlags");
  EXPECT_EQ(::GetWindowLongW(type, GWL_STYLE) & 3, CBS_DROPDOWNLIST) << "not editable";
  ASSERT_EQ(fForm.Form().ItemCount("cboQueryFlags"), 3);
  EXPECT_EQ(fForm.Form().ItemText("cboQueryFlags", 0), "NoAuthNoPriv");
  EXPECT_EQ(fForm.Form().ItemText("cboQueryFlags", 1), "AuthNoPriv");
  EXPECT_EQ(fForm.Form().ItemText("cboQueryFlags", 2), "AuthPriv");
  EXPECT_EQ(fForm.Form().ItemIndex("cboQueryFlags"), 1);

  // The port takes digits only.
  SetText("tbPort", "");
  for (const char c : std::string("5a5-1x62"))
    ::SendMessageW(Control("tbPort"), WM_CHAR, static_cast<WPARAM>(c), 0);
  EXPECT_EQ(WindowText(Control("tbPort")), "55162");

  // Tab goes from field to field in the designed order, as the dialog
  // navigation of the main loop does it.
  const std::vector<std::string> expected = {
      "tbHost", "tbPort",  "tbCommunity", "tbUserName",   "tbUserPwd",   "cboQueryFlags",
      "tbOid",  "tbMsgId", "tbMsgText",   "btSendSnmpV1", "btSendSnmpV3"};
  std::vector<std::string> order;
  HWND at = Control("tbHost");
  for (std::size_t i = 0; i < expected.size(); ++i) {
    for (const std::string& name : expected) {
      if (Control(name) == at)
        order.push_back(name);
    }
    at = ::GetNextDlgTabItem(window, at, FALSE);
  }
  EXPECT_EQ(order, expected);
}

TEST_F(TestSenderWin32Test, SendSnmpV1AndV3WithTheDefaultsCountEachSend) {
  Click("btSendSnmpV1");
  TSNMPRec v1;
  ASSERT_TRUE(v1.DecodeBuf(fListener.Receive()));
  EXPECT_EQ(v1.FVersion, 0);
  EXPECT_EQ(v1.FCommunity, "public");
  EXPECT_EQ(v1.FPDUType, kPduTrapV1);
  EXPECT_EQ(v1.FOldTrapEnterprise, "1.3.6.4.1.52814.8424.0");
  EXPECT_EQ(v1.FOldTrapGen, 6);
  EXPECT_EQ(v1.FOldTrapSpec, 8424);
  ASSERT_EQ(v1.MIBCount(), 2);
  EXPECT_EQ(v1.MIBByIndex(0)->FValue, "100");
  // The default text in Windows-1252.
  EXPECT_EQ(Hex(v1.MIBByIndex(1)->FValue),
            Hex("Text mit Umlauten & Sonderzeichen ") + " C4 E4 E0 DC F6 E9 20 80 24 A3");
  EXPECT_EQ(Label(), "Traps send: 1");

  Click("btSendSnmpV3");
  const std::string bytes = fListener.Receive();
  TSNMPRec v3;
  ASSERT_TRUE(v3.DecodeBuf(bytes));
  EXPECT_EQ(v3.FVersion, 3);
  EXPECT_EQ(v3.FPDUType, kPduTrapV2);
  EXPECT_EQ(v3.FUserName, "TavoSnmpTrap");
  EXPECT_EQ(v3.FFlags, TV3Flags::AuthNoPriv);
  EXPECT_TRUE(VerifyAuthentication(bytes, TV3Auth::AuthMD5, "4TorfBalunixe!"));
  ASSERT_EQ(v3.MIBCount(), 3);
  EXPECT_EQ(v3.MIBByIndex(0)->FValueType, kBerNull);
  EXPECT_EQ(Label(), "Traps send: 2");
  EXPECT_EQ(fForm.Counter(), 2);
  EXPECT_TRUE(fBoxes.Boxes.empty());
}

TEST_F(TestSenderWin32Test, TypedFieldsAndTheChosenLevelGoOut) {
  SetText("tbMsgId", "abc");  // no number: sent as 0
  SetText("tbOid", "1.3.6.4.1.7");
  SelectType(2);  // AuthPriv, with the receiver's default privacy password
  Click("btSendSnmpV3");
  TSNMPRec rec;
  rec.FPrivPassword = "QuastelbrinkSorgenlaufwer";
  ASSERT_TRUE(rec.DecodeBuf(fListener.Receive()));
  EXPECT_EQ(rec.FFlags, TV3Flags::AuthPriv);
  EXPECT_EQ(rec.MIBGet("1.3.6.4.1.7.1"), "0");
  EXPECT_EQ(rec.MIBByIndex(1)->FValueType, kBerInteger);
}

TEST_F(TestSenderWin32Test, AnErrorShowsItsBoxAndKeepsTheCounter) {
  Click("btSendSnmpV1");
  fListener.Receive();
  SetText("tbUserPwd", "");
  Click("btSendSnmpV3");
  ASSERT_EQ(fBoxes.Boxes.size(), 1u);
  EXPECT_EQ(fBoxes.Boxes[0].Icon, TMsgBoxIcon::eError);
  EXPECT_EQ(fBoxes.Boxes[0].Text, "SNMPv3 authentication password is empty");
  EXPECT_EQ(Label(), "Traps send: 1");
  EXPECT_EQ(fForm.Counter(), 1);
  EXPECT_TRUE(fListener.Quiet());
}

// tavot.exe without arguments opens the window, and closing it ends the
// program.
TEST(TavotExeTest, WithoutArgumentsItOpensTheWindow) {
  std::wstring command = L"\"" + Utf8ToWide(TAVOT_EXE) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info));
  HWND window = nullptr;
  for (int i = 0; i < 400 && !window; ++i) {
    ::Sleep(50);
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"TfrmTestSender", nullptr); w;
         w = ::FindWindowExW(nullptr, w, L"TfrmTestSender", nullptr)) {
      DWORD pid = 0;
      ::GetWindowThreadProcessId(w, &pid);
      if (pid == info.dwProcessId && ::IsWindowVisible(w))
        window = w;
    }
  }
  EXPECT_NE(window, nullptr);
  if (window) {
    EXPECT_EQ(WindowText(window), "Tavo SNMP Test Sender V1.10.01");
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
  DWORD code = 99;
  if (::WaitForSingleObject(info.hProcess, 10000) == WAIT_OBJECT_0)
    ::GetExitCodeProcess(info.hProcess, &code);
  else
    ::TerminateProcess(info.hProcess, 99);
  EXPECT_EQ(code, 0u);
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
}

// A picture of the window for people to look at: the build folder gets it,
// and the Linux side turns it into a PNG.
TEST_F(TestSenderWin32Test, Screenshot) {
  TWin32MainLoop loop;
  SetText("tbPort", "55162");
  fForm.Form().ShowCentred();
  test::PumpFor(loop, std::chrono::milliseconds(300));
  const std::string path = TAVO_TEST_OUTPUT_DIR "/tavot-windows.bmp";
  EXPECT_TRUE(test::SaveWindowBitmap(fForm.Form().Handle(), path)) << path;
}

}  // namespace
}  // namespace tavo
