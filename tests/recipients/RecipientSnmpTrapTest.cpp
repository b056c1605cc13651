#include "recipients/RecipientSnmpTrap.h"

#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "UdpListener.h"
#include "config/SystemUtils.h"
#include "platform/TextCodec.h"
#include "snmp/SnmpMessage.h"

namespace tavo {
namespace {

using Lines = std::vector<std::string>;

// An SNMP manager stand-in: the UDP listener, decoding what arrives.
class TrapSink {
 public:
  std::uint16_t Port() const { return fListener.Port(); }
  // The next trap, or nullptr when none comes within aTimeoutMs.
  std::unique_ptr<TSNMPRec> Next(int aTimeoutMs = 5000) {
    const std::string bytes = fListener.Receive(std::chrono::milliseconds(aTimeoutMs));
    if (bytes.empty())
      return nullptr;
    auto rec = std::make_unique<TSNMPRec>();
    EXPECT_TRUE(rec->DecodeBuf(bytes));
    return rec;
  }

 private:
  test::UdpListener fListener;
};

class RecipientSnmpTrapTest : public ::testing::Test {
 protected:
  std::unique_ptr<TRecipientSnmpTrapV1> Recipient(const std::string& aCsv) {
    auto r = std::make_unique<TRecipientSnmpTrapV1>("Trap");
    fbInit = r->Init(SplitRecipientItems(aCsv));
    return r;
  }
  std::unique_ptr<TRecipientSnmpTrapV1> ToSink(const std::string& aMore = "") {
    auto r =
        Recipient("Type=SnmpTrapV1;Host=127.0.0.1;Port=" + std::to_string(fSink.Port()) + aMore);
    EXPECT_TRUE(fbInit);
    fMsgs.Clear();
    return r;
  }
  // The id, subject and text bindings of a trap, in order.
  static Lines Bindings(const TSNMPRec& aTrap) {
    Lines values;
    for (const auto& mib : aTrap.FSNMPMibList)
      values.push_back(mib->FValue);
    return values;
  }

  test::MessageCapture fMsgs;
  TrapSink fSink;
  bool fbInit = false;
};

TEST_F(RecipientSnmpTrapTest, SettingsAndTheirErrors) {
  struct Case {
    std::string Csv;
    bool Valid;
    Lines Messages;
  };
  const Case cases[] = {
      {"Type=SnmpTrapV1;Host=manager",
       true,
       {"Info:  Recipient \"Trap\": Host=manager:162; Community=public"}},
      {"Type=SnmpTrapV1;host=\"nms.example\" ;port=1162;community=\"pub\"",
       true,
       {"Info:  Recipient \"Trap\": Host=nms.example:1162; Community=\"pub\""}},
      {"Type=SnmpTrapV1;Host=m;Port=;Community=",
       true,
       {"Info:  Recipient \"Trap\": Host=m:162; Community=public"}},
      {"Type=SnmpTrapV1;Port=162",
       false,
       {"Error: Recipient \"Trap\" missing definition \"Host\"!"}},
      {"Type=SnmpTrapV1;Host=\"\"",
       false,
       {"Error: Recipient \"Trap\" missing definition \"Host\"!"}},
      {"Type=SnmpTrapV1;Host=m;Port=0",
       false,
       {"Error: Recipient \"Trap\" invalid definition \"Port\"!"}},
      {"Type=SnmpTrapV1;Host=m;Port=abc",
       false,
       {"Error: Recipient \"Trap\" invalid definition \"Port\"!"}},
      {"Type=SnmpTrapV1;Host=m;Port=70000",
       false,
       {"Error: Recipient \"Trap\" invalid definition \"Port\"!"}},
      {"Type=SnmpTrapV1;Port=-1",
       false,
       {"Error: Recipient \"Trap\" missing definition \"Host\"!",
        "Error: Recipient \"Trap\" invalid definition \"Port\"!"}},
  };
  for (const Case& c : cases) {
    fMsgs.Clear();
    Recipient(c.Csv);
    EXPECT_EQ(fbInit, c.Valid) << c.Csv;
    EXPECT_EQ(fMsgs.Lines(), c.Messages) << c.Csv;
  }
}

TEST_F(RecipientSnmpTrapTest, AReportBecomesOneV1TrapUnderTheProductEnterprise) {
  auto r = ToSink();
  r->Report("42\r\nDisk full\r\nline a\r\nline b");
  const auto trap = fSink.Next();
  ASSERT_NE(trap, nullptr);
  EXPECT_EQ(trap->FVersion, 0);
  EXPECT_EQ(trap->FPDUType, 0xA4);
  EXPECT_EQ(trap->FCommunity, "public");
  EXPECT_EQ(trap->FOldTrapEnterprise, "1.3.6.4.1.52814.8423.0");
  EXPECT_EQ(trap->FOldTrapGen, 6);
  EXPECT_EQ(trap->FOldTrapSpec, 8423);
  EXPECT_EQ(trap->FOldTrapHost, GetLocalIpAddress());
  ASSERT_EQ(trap->MIBCount(), 3);
  const std::pair<const char*, int> oids[] = {{"1.3.6.4.1.52814.8423.1", 0x02},
                                              {"1.3.6.4.1.52814.8423.2", 0x04},
                                              {"1.3.6.4.1.52814.8423.3", 0x04}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(trap->MIBByIndex(i)->FOID, oids[i].first);
    EXPECT_EQ(trap->MIBByIndex(i)->FValueType, oids[i].second);
  }
  EXPECT_EQ(Bindings(*trap), (Lines{"42", "Disk full", "line a\r\nline b\r\n"}));
  EXPECT_EQ(fMsgs.Lines(), (Lines{"Hint:  Send \"Trap\" to \"127.0.0.1\" subject: \"Disk full\""}));
}

TEST_F(RecipientSnmpTrapTest, ReportsSplitIntoIdSubjectAndText) {
  auto r = ToSink(";Community=ops");
  struct Case {
    std::string Report;
    Lines Values;
  };
  const Case cases[] = {
      {"7", {"7", "No subject", "No text"}},
      {"7\nOnly a subject", {"7", "Only a subject", "No text"}},
      {"  +0x10\rSub\r\n\r\nafter a blank line\n", {"16", "Sub", "\r\nafter a blank line\r\n"}},
      {"Test Report <Trap>\r\nSend timestamp 1\r\nFrom Tavo",
       {"999", "Test Report <Trap>", "Send timestamp 1\r\nFrom Tavo\r\n"}},
      {"5\r\nGr\xc3\xbc\xc3\x9f"
       "e \xe2\x82\xac\r\n\xe2\x98\x83",
       {"5",
        "Gr\xfc\xdf"
        "e \x80",
        "?\r\n"}},  // Windows-1252 on the wire
  };
  for (const Case& c : cases) {
    r->Report(c.Report);
    const auto trap = fSink.Next();
    ASSERT_NE(trap, nullptr) << c.Report;
    EXPECT_EQ(trap->FCommunity, "ops");
    EXPECT_EQ(Bindings(*trap), c.Values) << c.Report;
  }
}

TEST_F(RecipientSnmpTrapTest, RefusedReportsSendNothing) {
  auto r = ToSink();
  // 1200 UTF-16 code units pass, one more does not: the euro sign counts
  // one unit (three bytes of UTF-8), the emoji two.
  std::string fill;
  for (int i = 0; i < 1194; ++i)
    fill += "\xe2\x82\xac";
  const std::string exact = "5\r\nS\r\n" + fill;                                // 6 + 1194 = 1200
  const std::string over = "5\r\nS\r\n" + fill.substr(3) + "\xf0\x9f\x98\x80";  // 6 + 1193 + 2
  ASSERT_EQ(Utf16Length(exact), 1200u);
  ASSERT_EQ(Utf16Length(over), 1201u);

  const Lines refused = {"0\r\nx",   "-3\r\nx", "abc\r\nx",
                         "12 \r\nx", "",        "test report <Trap>\r\nx"};
  Lines expected;
  for (const std::string& text : refused) {
    r->Report(text);
    expected.push_back("Error: No or invalid message id in \"Trap\": " + text);
  }
  r->Report(over);
  expected.push_back("Error: Message length for \"Trap\" > 1200!");
  r->Report(exact);
  expected.push_back("Hint:  Send \"Trap\" to \"127.0.0.1\" subject: \"S\"");

  // The first datagram to arrive is the one of the last report.
  const auto trap = fSink.Next();
  ASSERT_NE(trap, nullptr);
  EXPECT_EQ(trap->MIBGet("1.3.6.4.1.52814.8423.3"), Utf8ToCp1252(fill) + "\r\n");
  EXPECT_EQ(fSink.Next(50), nullptr);
  // Message lines show CR LF as "||".
  for (std::string& line : expected) {
    std::size_t pos;
    while ((pos = line.find("\r\n")) != std::string::npos)
      line.replace(pos, 2, "||");
  }
  EXPECT_EQ(fMsgs.Lines(), expected);
}

TEST_F(RecipientSnmpTrapTest, AManagerThatDoesNotListenGoesUnnoticed) {
  auto gone = std::make_unique<TrapSink>();
  const std::string port = std::to_string(gone->Port());
  gone.reset();
  auto r = Recipient("Type=SnmpTrapV1;Host=127.0.0.1;Port=" + port);
  fMsgs.Clear();
  r->Report("1\r\nlost");
  r->Report("2\r\nlost too");
  EXPECT_EQ(fMsgs.Lines(), (Lines{"Hint:  Send \"Trap\" to \"127.0.0.1\" subject: \"lost\"",
                                  "Hint:  Send \"Trap\" to \"127.0.0.1\" subject: \"lost too\""}));
}

TEST_F(RecipientSnmpTrapTest, TheListCreatesItByType) {
  TRecipientList& list = TRecipientList::Instance();
  EXPECT_EQ(list.Init({"Nms=type=snmptrapv1;Host=127.0.0.1;Port=" + std::to_string(fSink.Port())}),
            1);
  list.Report("nms", "3\r\nvia the list");
  const auto trap = fSink.Next();
  ASSERT_NE(trap, nullptr);
  EXPECT_EQ(trap->MIBGet("1.3.6.4.1.52814.8423.2"), "via the list");
  TRecipientList::InstanceRelease();
}

}  // namespace
}  // namespace tavo
