// The answers to informs as bytes: the Response with the inform's bindings
// as received or as tooBig, the reports with their echoed fields, the time
// window, and the bounded record of answered informs.

#include "snmp/InformAnswer.h"

#include <gtest/gtest.h>

#include "SampleTraps.h"
#include "snmp/BerEncoding.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

const std::string kEngineId("\x80\x00\xCE\x4E\x05\x01\x02\x03\x04\x05\x06\x07\x08", 13);

TSnmpEngine Engine() {
  return TSnmpEngine{{kEngineId, 9}, 1000};
}

// An SNMPv3 AuthNoPriv inform to the engine, request-id 41, with a
// Counter64 and an Opaque binding (tags the codec's texts do not carry
// back), and aText as an OCTET STRING.
std::string Inform(const std::string& aText, std::int32_t aMaxSize = 65507) {
  TSNMPRec r;
  test::SetSampleSender(r, test::SampleV3(TV3Flags::AuthNoPriv));
  r.FPDUType = kPduInformRequest;
  r.FFlagReportable = true;
  r.FID = 41;
  r.FMaxSize = aMaxSize;
  r.FAuthEngineID = kEngineId;
  r.FAuthEngineBoots = 9;
  r.MIBAdd("1.3.6.1.2.1.1.3.0", "5", kBerTimeTicks);
  r.MIBAdd("1.3.6.1.4.1.99.1", std::string("\x01\x00\x00\x00\x00\x00\x00\x00\x02", 9), 0x46);
  r.MIBAdd("1.3.6.1.4.1.99.2", std::string("\x9f\x78\x04\x42\xf6\x00\x00", 7), 0x44);
  r.MIBAdd("1.3.6.1.4.1.99.3", aText, kBerOctetString);
  return r.EncodeBuf();
}

TEST(InformAnswerTest, TheResponseCarriesTheBindingsAsReceivedOrIsTooBig) {
  struct Case {
    const char* Name;
    std::size_t TextBytes;
    std::int32_t MaxSize;
    bool TooBig;
  };
  const Case cases[] = {
      {"fits", 100, 65507, false},
      {"over the sender's msgMaxSize", 600, 484, true},
      {"over what UDP carries", 65490, 2000000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string inform = Inform(std::string(c.TextBytes, 'x'), c.MaxSize);
    TSNMPRec r;
    r.FKeepRawBindings = true;
    ASSERT_TRUE(r.DecodeBuf(inform));
    const std::string bindings = r.FRawBindings;
    r.FPassword = kDefaultTrapUserPassword;
    const TSnmpEngine engine = Engine();
    const std::string answer = EncodeInformResponse(r, &engine, 4500);

    TSNMPRec back;
    back.FKeepRawBindings = true;
    ASSERT_TRUE(back.DecodeBuf(answer));
    EXPECT_TRUE(VerifyAuthentication(answer, TV3Auth::AuthMD5, kDefaultTrapUserPassword));
    EXPECT_EQ(back.FPDUType, kPduResponse);
    EXPECT_EQ(back.FID, 41);
    EXPECT_EQ(back.FMsgID, 41);
    EXPECT_FALSE(back.FFlagReportable);
    EXPECT_EQ(back.FAuthEngineBoots, 9);
    EXPECT_EQ(back.FAuthEngineTime, 3);
    EXPECT_EQ(back.FErrorIndex, 0);
    EXPECT_LE(answer.size(), std::min<std::size_t>(c.MaxSize, kMaxUdpPayload));
    EXPECT_EQ(back.FErrorStatus, c.TooBig ? kErrorTooBig : 0);
    EXPECT_TRUE(back.FRawBindings == (c.TooBig ? std::string() : bindings));
  }
}

TEST(InformAnswerTest, ReportsEchoTheMessageAndCarryTheEngine) {
  TSNMPRec received;
  received.FVersion = 3;
  received.FMsgID = 1234;  // net-snmp's msgID differs from its request-id
  received.FID = 77;
  received.FUserName = "user";
  received.FContextEngineID = "ctx-engine";
  received.FContextName = "ctx";
  const TSnmpEngine engine = Engine();
  struct Case {
    const char* Oid;
    bool RequestIdKnown;
    TV3Flags Level;
  };
  for (const Case& c : {Case{kUsmStatsUnknownEngineIDs, true, TV3Flags::NoAuthNoPriv},
                        Case{kUsmStatsUnknownEngineIDs, false, TV3Flags::NoAuthNoPriv},
                        Case{kUsmStatsNotInTimeWindows, true, TV3Flags::AuthNoPriv}}) {
    SCOPED_TRACE(c.Oid);
    const std::string bytes = EncodeReport(received, engine, 61000, c.Oid, 3, c.RequestIdKnown,
                                           TV3Auth::AuthSHA256, "report-password");
    TSNMPRec r;
    ASSERT_TRUE(r.DecodeBuf(bytes));
    EXPECT_EQ(r.FPDUType, kPduReport);
    EXPECT_EQ(r.FFlags, c.Level);
    EXPECT_FALSE(r.FFlagReportable);
    EXPECT_EQ(r.FMsgID, 1234);
    EXPECT_EQ(r.FID, c.RequestIdKnown ? 77 : 0);
    EXPECT_EQ(r.FUserName, "user");
    EXPECT_EQ(r.FContextEngineID, "ctx-engine");
    EXPECT_EQ(r.FContextName, "ctx");
    EXPECT_EQ(r.FAuthEngineID, kEngineId);
    EXPECT_EQ(r.FAuthEngineBoots, 9);
    EXPECT_EQ(r.FAuthEngineTime, 60);
    ASSERT_EQ(r.MIBCount(), 1);
    EXPECT_EQ(r.MIBByIndex(0)->FOID, c.Oid);
    EXPECT_EQ(r.MIBByIndex(0)->FValue, "3");
    EXPECT_EQ(r.MIBByIndex(0)->FValueType, kBerCounter32);
    if (c.Level == TV3Flags::AuthNoPriv)
      EXPECT_TRUE(VerifyAuthentication(bytes, TV3Auth::AuthSHA256, "report-password"));
  }
}

TEST(InformAnswerTest, TheTimeWindow) {
  struct Case {
    std::int32_t EngineBoots;
    std::int32_t Boots;
    std::int32_t Time;
    bool Inside;
  };
  // The engine's time is 200 s.
  const Case cases[] = {
      {9, 9, 200, true},   {9, 9, 50, true},
      {9, 9, 350, true},   {9, 9, 49, false},
      {9, 9, 351, false},  {9, 8, 200, false},
      {9, 10, 200, false}, {kMaxEngineBoots, kMaxEngineBoots, 200, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Boots << "/" << c.Time);
    TSnmpEngine engine = Engine();
    engine.State.Boots = c.EngineBoots;
    TSNMPRec r;
    r.FAuthEngineBoots = c.Boots;
    r.FAuthEngineTime = c.Time;
    EXPECT_EQ(InTimeWindow(engine, r, 201999), c.Inside);
  }
}

TEST(InformAnswerTest, AnsweredInformsAreRememberedForThirtySecondsAndBounded) {
  TInformReplayCache cache;
  TSNMPRec r;
  r.FVersion = 3;
  r.FAuthEngineID = kEngineId;
  r.FMsgID = 5;
  r.FID = 6;
  const std::string key = TInformReplayCache::Key(r, "127.0.0.1:5000");
  EXPECT_FALSE(cache.Seen(key, 0));
  cache.Remember(key, 0);
  EXPECT_TRUE(cache.Seen(key, 30000));
  r.FMsgID = 6;  // another message
  EXPECT_FALSE(cache.Seen(TInformReplayCache::Key(r, "127.0.0.1:5000"), 30000));
  EXPECT_FALSE(cache.Seen(key, 30001));
  EXPECT_EQ(cache.Count(), 0u);

  for (int i = 0; i < 10050; ++i) {
    r.FID = i;
    cache.Remember(TInformReplayCache::Key(r, ""), 100);
  }
  EXPECT_EQ(cache.Count(), TInformReplayCache::kMaxEntries);
  r.FID = 0;
  EXPECT_FALSE(cache.Seen(TInformReplayCache::Key(r, ""), 100));  // the oldest went first
  r.FID = 10049;
  EXPECT_TRUE(cache.Seen(TInformReplayCache::Key(r, ""), 100));
  // Long keys are held to the byte bound.
  TInformReplayCache big;
  TSNMPRec v2c;
  v2c.FVersion = 1;
  v2c.FCommunity = std::string(60000, 'c');
  for (int i = 0; i < 40; ++i) {
    v2c.FID = i;
    big.Remember(TInformReplayCache::Key(v2c, "127.0.0.1:1"), 100);
  }
  EXPECT_LE(big.Bytes(), TInformReplayCache::kMaxBytes);
  EXPECT_GT(big.Count(), 10u);
}

}  // namespace
}  // namespace tavo
