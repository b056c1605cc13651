// One check cycle over 1,000 clients with 10 message accounts each, and
// counting one message into a client with 10 accounts: the two things the
// main thread does for accounting. Reports go to a recipient that drops
// them, and messages to a dispatcher whose sink drops them, so the figures
// are the accounting's own.
//
// Check cycle modes:
//   typical   8 count accounts (windows of 6 cycles, threshold 0, nothing
//             arrives) and 2 daily accounts that have already run today
//   closing   every window closes at every cycle, no condition holds
//   reporting every account reports at every cycle (an upper bound)
// and the start-up: loading those 1,000 clients from one configuration file.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "accounting/Client.h"
#include "config/IniFileIo.h"
#include "messages/MsgClasses.h"
#include "platform/Paths.h"
#include "recipients/RecipientTypes.h"
#include "recipients/Recipients.h"

namespace {

using tavo::TClient;

class TNullRecipient : public tavo::TRecipient {
 public:
  using TRecipient::TRecipient;
  bool Init(const tavo::TStringList&) override { return true; }
  void Report(const std::string& aText) override { benchmark::DoNotOptimize(aText.data()); }
};

// Everything the accounts need: a dispatcher, a recipient, a template file.
class Environment {
 public:
  Environment() {
    fsDir = std::filesystem::temp_directory_path().string() + "/tavo-bench-XXXXXX";
    if (!::mkdtemp(fsDir.data()))
      std::abort();
    tavo::SetConfigFileOverride(fsDir + "/tavo.ini");
    std::FILE* f = std::fopen((fsDir + "/report.txt").c_str(), "w");
    std::fputs(
        "Alarm %CLIENT_NAME-%ID %LABEL\nCounter %COUNTER below %THRESHOLD at %DATE %TIME\n"
        "%TEXT\n",
        f);
    std::fclose(f);
    tavo::TMsgClass* dispatcher = tavo::TMsgClass::CreateSingleton();
    dispatcher->Level = tavo::eTrace;
    dispatcher->OnNewMsg = [](tavo::TMsgBase*, tavo::TMsgId, const std::string& aText) {
      benchmark::DoNotOptimize(aText.data());
    };
    tavo::RegisterRecipientType(
        "Null", [](const std::string& aName) { return std::make_unique<TNullRecipient>(aName); });
    tavo::TRecipientList::Instance().Init({"Ops=Type=Null"});
  }
  ~Environment() {
    tavo::TRecipientList::InstanceRelease();
    tavo::UnregisterRecipientType("Null");
    tavo::TMsgClass::ReleaseSingleton();
    tavo::SetConfigFileOverride("");
    std::filesystem::remove_all(fsDir);
  }

 private:
  std::string fsDir;
};

tavo::TStringList AccountLines(int aMode) {
  tavo::TStringList lines;
  for (int id = 1; id <= 10; ++id) {
    const std::string key = std::to_string(id) + "=";
    switch (aMode) {
      case 0:
        lines.push_back(id <= 8 ? key + "Heartbeat;0;5;Send;Ops;report.txt"
                                : key + "Daily;0;MTWTFSS@00:00;Send;Ops;report.txt");
        break;
      case 1:
        lines.push_back(key + "Errors;0;0;Send;Ops;report.txt");
        break;
      default:
        lines.push_back(key + "Always;-1;0;Send;Ops;report.txt");
        break;
    }
  }
  return lines;
}

void CheckCycle(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  Environment env;
  std::vector<std::unique_ptr<TClient>> clients;
  const tavo::TStringList lines = AccountLines(mode);
  for (int i = 0; i < 1000; ++i) {
    clients.push_back(std::make_unique<TClient>());
    clients.back()->LoadMessageAccounts(lines);
  }
  // Daily accounts run on the first cycle; the benchmark measures the days after.
  for (auto& c : clients)
    c->Check();
  for (auto _ : state) {
    for (auto& c : clients)
      c->Check();
  }
  state.SetItemsProcessed(state.iterations() * 1000 * 10);  // accounts checked
  state.SetLabel(mode == 0 ? "typical" : mode == 1 ? "closing" : "reporting");
}
BENCHMARK(CheckCycle)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void Increment(benchmark::State& state) {
  Environment env;
  TClient client;
  client.LoadMessageAccounts(AccountLines(0));
  std::int32_t id = 0;
  const std::string text = "Disk C: 97% full";
  for (auto _ : state) {
    client.Increment(id % 12 + 1, text);  // ids 11 and 12 have no account
    ++id;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Increment);

// Start-up: 1,000 client sections with 10 account lines each, loaded as the
// controller loads them: one reader, TClient::Init per section. Each account
// reads its template file.
void InitClients(benchmark::State& state) {
  Environment env;
  const std::string ini = tavo::ConfigFilePath();
  {
    std::FILE* f = std::fopen(ini.c_str(), "w");
    for (int i = 0; i < 1000; ++i) {
      std::fprintf(f, "[Client %d]\nName=App%d\nOidMsgId=1.3.6.1.4.1.99.%d\n", i, i, i);
      for (const std::string& line : AccountLines(0))
        std::fprintf(f, "%s\n", line.c_str());
    }
    std::fclose(f);
  }
  for (auto _ : state) {
    const tavo::TOrvoIniFile reader(ini);
    std::vector<std::unique_ptr<TClient>> clients;
    for (int i = 0; i < 1000; ++i) {
      clients.push_back(std::make_unique<TClient>());
      if (!clients.back()->Init("Client " + std::to_string(i), reader))
        state.SkipWithError("init");
    }
  }
  state.SetItemsProcessed(state.iterations() * 1000);  // clients loaded
}
BENCHMARK(InitClients)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
