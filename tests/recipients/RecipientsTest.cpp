#include "recipients/Recipients.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "recipients/RecipientTypes.h"

namespace tavo {
namespace {

using test::MessageCapture;

// A recipient type that records what reaches it; "Fail=1" rejects the line.
struct Recorded {
  std::vector<std::string> Reports;  // "name: text"
  std::vector<TStringList> Configs;
  int Destroyed = 0;
};
Recorded gRec;

class TRecorderRecipient : public TRecipient {
 public:
  using TRecipient::TRecipient;
  ~TRecorderRecipient() override { ++gRec.Destroyed; }
  bool Init(const TStringList& aCfg) override {
    gRec.Configs.push_back(aCfg);
    if (ItemValue(aCfg, "Fail") == "1") {
      TMsg::Error("Recipient \"%s\" rejected", {Name()});
      return false;
    }
    return true;
  }
  void Report(const std::string& aText) override { gRec.Reports.push_back(Name() + ": " + aText); }
};

class RecipientListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gRec = {};
    RegisterRecipientType("Recorder", [](const std::string& aName) {
      return std::make_unique<TRecorderRecipient>(aName);
    });
  }
  void TearDown() override {
    TRecipientList::InstanceRelease();
    UnregisterRecipientType("Recorder");
  }
  MessageCapture fMsgs;
};

TEST(SplitRecipientItemsTest, Table) {
  struct Case {
    const char* Value;
    TStringList Items;
  };
  const Case cases[] = {
      {"Type=SmtpMail;Host=mailserver;To=operator",
       {"Type=SmtpMail", "Host=mailserver", "To=operator"}},
      {" Type=X ; Host = a ;", {"Type=X", "Host = a", ""}},
      {"\"Host=a;b\";To=x", {"Host=a;b", "To=x"}},
      {"\"say \"\"hi\"\"\";c", {"say \"hi\"", "c"}},
      {"Host=\"mail;server\"", {"Host=\"mail", "server\""}},
      {"Host=\"mailserver\"", {"Host=\"mailserver\""}},
      {"\"ab\"cd;e", {"abcd", "e"}},
      {"\"unclosed;x", {"unclosed;x"}},
      {"a;;b", {"a", "", "b"}},
      {";", {"", ""}},
      {"Type=X\t\r", {"Type=X"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitRecipientItems(c.Value), c.Items) << c.Value;
  }
}

TEST(SplitTextLinesTest, AnyLineEndEndsALineAndALastOneAddsNothing) {
  const std::pair<const char*, TStringList> cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\n\r\n", {"a", ""}},
      {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
      {"\n", {""}},
      {"a\n\rb", {"a", "", "b"}},
  };
  for (const auto& [text, lines] : cases)
    EXPECT_EQ(SplitTextLines(text), lines) << text;
}

TEST(RecipientItemValueTest, KeysIgnoreCaseButNotBlanks) {
  const TStringList items = {"type=smtpmail", "Host =a", "Port=", "Name=x=y", "Port=25"};
  EXPECT_EQ(TRecipient::ItemValue(items, "Type"), "smtpmail");
  EXPECT_EQ(TRecipient::ItemValue(items, "Host"), "");  // "Host " is another key
  EXPECT_EQ(TRecipient::ItemValue(items, "Port"), "");  // the first one counts
  EXPECT_EQ(TRecipient::ItemValue(items, "NAME"), "x=y");
  EXPECT_EQ(TRecipient::ItemValue(items, "Missing"), "");
}

TEST_F(RecipientListTest, InitLoadsLinesInOrderAndSkipsDisabledOnes) {
  const TStringList cfg = {
      "Mail1=Type=Recorder;Host=mailserver;To=operator",
      "//Mail1=Type=Recorder;Host=x",
      ":Old=Type=Recorder",
      "/Off=Type=Recorder",
      "=Type=Recorder",
      "Empty=",
      "NoEquals",
      "Trap=type=RECORDER ; Port=162 ",
  };
  EXPECT_EQ(TRecipientList::Instance().Init(cfg), 2);
  EXPECT_EQ(TRecipientList::Instance().ListNames(), "Mail1\r\nTrap\r\n");
  ASSERT_EQ(gRec.Configs.size(), 2u);
  EXPECT_EQ(gRec.Configs[1], (TStringList{"type=RECORDER", "Port=162"}));
  EXPECT_TRUE(fMsgs.Lines().empty()) << fMsgs.Lines().front();
}

TEST_F(RecipientListTest, BadLinesAreReportedAndLeftOut) {
  const TStringList cfg = {
      "NoType=Host=x",        "Other=Type=Carrier;Host=x",
      "Blank=Type =Recorder", "Rejected=Type=Recorder;Fail=1",
      "Good=Type=Recorder",
  };
  EXPECT_EQ(TRecipientList::Instance().Init(cfg), 1);
  EXPECT_EQ(fMsgs.Lines(), (std::vector<std::string>{
                               "Error: Unknown recipient type for \"NoType\"",
                               "Error: Unknown recipient type for \"Other\"",
                               "Error: Unknown recipient type for \"Blank\"",
                               "Error: Recipient \"Rejected\" rejected",
                           }));
  // The rejected recipient was freed at once.
  EXPECT_EQ(gRec.Destroyed, 1);
}

TEST_F(RecipientListTest, FindAndReportReachTheFirstOfANameIgnoringCase) {
  TRecipientList& list = TRecipientList::Instance();
  list.Init({"Ops=Type=Recorder", "Mail=Type=Recorder;Tag=first", "MAIL=Type=Recorder;Tag=second"});
  EXPECT_EQ(list.Find("mail"), 1);
  EXPECT_EQ(list.Find("OPS"), 0);
  EXPECT_EQ(list.Find("nobody"), -1);
  EXPECT_EQ(list.Find(""), -1);

  list.Report("mAiL", "hello\r\nworld");
  EXPECT_EQ(gRec.Reports, (std::vector<std::string>{"Mail: hello\r\nworld"}));
}

TEST_F(RecipientListTest, ReportToAnUnknownNameIsAnError) {
  TRecipientList& list = TRecipientList::Instance();
  list.Init({"Ops=Type=Recorder"});
  list.Report("Nobody", "text");
  list.Report("", "text");
  EXPECT_TRUE(gRec.Reports.empty());
  EXPECT_EQ(fMsgs.Lines(), (std::vector<std::string>{"Error: Recipient \"Nobody\" not found!",
                                                     "Error: Recipient \"\" not found!"}));
}

TEST_F(RecipientListTest, SecondInitReplacesEverythingAndReleaseFreesTheRecipients) {
  TRecipientList& list = TRecipientList::Instance();
  EXPECT_EQ(list.Init({"A=Type=Recorder", "B=Type=Recorder"}), 2);
  EXPECT_EQ(list.Init({}), 0);
  EXPECT_EQ(gRec.Destroyed, 2);
  EXPECT_EQ(list.ListNames(), "");

  TRecipientList::Instance().Init({"C=Type=Recorder"});
  TRecipientList::InstanceRelease();
  EXPECT_EQ(gRec.Destroyed, 3);
  EXPECT_EQ(TRecipientList::Instance().Count(), 0);
}

TEST_F(RecipientListTest, BaseClassTracesItsReportAndAcceptsNoSettings) {
  TRecipient base("Base");
  EXPECT_FALSE(base.Init({"Type=Base"}));
  base.Report("some text");
  EXPECT_EQ(fMsgs.Lines(),
            (std::vector<std::string>{"Trace: Base class recipient report: some text"}));
}

TEST_F(RecipientListTest, RegistryBindsTypesIgnoringCaseAndCanRebind) {
  EXPECT_NE(FindRecipientType("RECORDER"), nullptr);
  RegisterRecipientType("recorder", [](const std::string& aName) {
    return std::make_unique<TRecipient>(aName);  // accepts nothing
  });
  EXPECT_EQ(TRecipientList::Instance().Init({"X=Type=Recorder"}), 0);
  EXPECT_TRUE(UnregisterRecipientType("Recorder"));
  EXPECT_EQ(FindRecipientType("Recorder"), nullptr);
  EXPECT_FALSE(UnregisterRecipientType("Recorder"));
}

}  // namespace
}  // namespace tavo
