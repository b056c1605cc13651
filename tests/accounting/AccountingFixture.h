#pragma once
// What the account and client tests share: a recipient type "Recorder" that
// keeps every report, a recipient list with "Mail1" of that type, a fake
// clock, captured messages, and a temporary folder that stands in for the
// program's folder (templates) and holds the configuration file.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "accounting/Client.h"
#include "config/IniFileIo.h"
#include "platform/Paths.h"
#include "recipients/RecipientTypes.h"
#include "recipients/Recipients.h"

namespace tavo::test {

struct SentReport {
  std::string Recipient;
  std::string Text;
  bool operator==(const SentReport&) const = default;
};

inline std::vector<SentReport>& SentReports() {
  static std::vector<SentReport> reports;
  return reports;
}

class TRecorderRecipient : public TRecipient {
 public:
  using TRecipient::TRecipient;
  bool Init(const TStringList&) override { return true; }
  void Report(const std::string& aText) override { SentReports().push_back({Name(), aText}); }
};

class AccountingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SentReports().clear();
    RegisterRecipientType("Recorder", [](const std::string& aName) {
      return std::make_unique<TRecorderRecipient>(aName);
    });
    TRecipientList::Instance().Init({"Mail1=Type=Recorder"});
    fsIni = fDir.File("tavo.ini");
    SetConfigFileOverride(fsIni);  // templates resolve against the temporary folder
    fMsgs.Clear();
  }
  void TearDown() override {
    TRecipientList::InstanceRelease();
    UnregisterRecipientType("Recorder");
    SetConfigFileOverride("");
  }

  // A client named aName from a section with the given account lines.
  std::unique_ptr<TClient> MakeClient(const std::string& aLines, const std::string& aName = "App",
                                      const std::string& aExtra = "") {
    WriteWholeFile(fsIni,
                   "[Client A]\nName=" + aName + "\nOidMsgId=1.3.6.1.4.1.99.1\n" + aExtra + aLines);
    auto client = std::make_unique<TClient>();
    TOrvoIniFile ini(fsIni);
    client->Init("Client A", ini);
    return client;
  }

  std::vector<std::string> Lines() const { return fMsgs.Lines(); }

  TempDir fDir;
  std::string fsIni;
  FakeClock fClock;
  MessageCapture fMsgs;
};

}  // namespace tavo::test
