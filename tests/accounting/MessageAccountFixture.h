#pragma once
// The account tests' fixture: accounts of the client "App", each built from
// one configuration line, and one check cycle of an account.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "AccountingFixture.h"
#include "accounting/MessageAccount.h"

namespace tavo::test {

class MessageAccountTest : public AccountingTest {
 protected:
  void SetUp() override {
    AccountingTest::SetUp();
    fClient = MakeClient("1=placeholder;0;0;Send\n");
    fMsgs.Clear();
  }

  std::unique_ptr<TMessageAccount> Account(const std::string& aCsv, std::int32_t aId = 100) {
    auto account = std::make_unique<TMessageAccount>();
    fbInit = account->Init(fClient.get(), aId, aCsv);
    return account;
  }

  // One check cycle: the condition and the command it handed over.
  static std::pair<bool, std::string> Cycle(TMessageAccount& aAccount) {
    std::string cmd = "stale";
    const bool held = aAccount.CheckCondition(cmd);
    return {held, cmd};
  }

  std::unique_ptr<TClient> fClient;
  bool fbInit = false;
};

}  // namespace tavo::test
