// libFuzzer target: one account line (the value of a client section's key,
// "label;threshold;count-or-daily;action[;recipient;template]") through
// TMessageAccount::Init, and a valid one through two check cycles and its
// report. Templates resolve against examples/, whose report.txt and
// heartbeat.txt the seeds name; the recipients "Mail1", "Operator" and
// "Manager" only count what they are sent. The clock stands still on a
// Monday at 08:00, when a daily account on Mondays at 08:00 acts. Every
// message line is dropped, so that nothing reaches a box or standard error.
// Each input gets a fresh account; nothing else changes between inputs.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "accounting/Client.h"
#include "accounting/MessageAccount.h"
#include "config/IniFileIo.h"
#include "messages/MsgClasses.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "recipients/RecipientTypes.h"
#include "recipients/Recipients.h"

namespace {

using namespace tavo;

std::size_t gnReports = 0;

class TCountingRecipient : public TRecipient {
 public:
  using TRecipient::TRecipient;
  bool Init(const TStringList&) override { return true; }
  void Report(const std::string& aText) override { gnReports += aText.size() + 1; }
};

class TStillClock final : public IClock {
 public:
  TLocalDateTime Now() const override {
    TLocalDateTime t;
    t.Year = 2024;
    t.Month = 6;
    t.Day = 3;
    t.DayOfWeek = 1;
    t.Hour = 8;
    return t;
  }
};

const TStillClock gClock;
std::unique_ptr<TClient> gClient;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetMessageBoxHandler([](TMsgBoxIcon, const std::string&) {});
  TMsgClass* dispatcher = TMsgClass::CreateSingleton();
  dispatcher->Level = eDebug;
  dispatcher->OnNewMsg = [](TMsgBase*, TMsgId, const std::string& aText) {
    static volatile std::size_t sink = 0;
    sink = sink + aText.size();
  };
  SetClock(&gClock);
  SetConfigFileOverride(TAVO_EXAMPLES_DIR "/tavo.ini");
  RegisterRecipientType("Counter", [](const std::string& aName) {
    return std::make_unique<TCountingRecipient>(aName);
  });
  TRecipientList::Instance().Init(
      {"Mail1=Type=Counter", "Operator=Type=Counter", "Manager=Type=Counter"});
  // The client the accounts belong to; it has none of its own.
  gClient = std::make_unique<TClient>();
  gClient->Init("Client A",
                TOrvoIniFile::FromBytes("[Client A]\nName=App\nOidMsgId=1.3.6.1.4.1.99.1\n"));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string csv(reinterpret_cast<const char*>(aData), aSize);
  TMessageAccount account;
  if (!account.Init(gClient.get(), 100, csv))
    return 0;
  std::string cmd;
  account.Increment("first");
  account.CheckCondition(cmd);
  account.CheckCondition(cmd);
  volatile std::size_t sink =
      account.ReadCounter().size() + account.BuildReport().size() + cmd.size();
  (void)sink;
  return 0;
}
