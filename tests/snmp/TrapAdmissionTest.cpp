// Admission's lines for received texts, the limit on refused datagrams and
// the datagram queue's bounds, without sockets or threads.

#include "snmp/TrapAdmission.h"

#include <gtest/gtest.h>

#include "SampleTraps.h"
#include "TestSupport.h"
#include "snmp/TrapDatagramQueue.h"

namespace tavo {
namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";

std::string Repeat(const std::string& aText, int aTimes) {
  std::string out;
  for (int i = 0; i < aTimes; ++i)
    out += aText;
  return out;
}

TEST(TrapAdmissionTest, ReceivedTextsAreCutTo128Units) {
  const std::string exact(128, 'a');
  EXPECT_EQ(CutReceivedText(exact), exact);
  EXPECT_EQ(CutReceivedText(exact + "b"), exact + kEllipsis);
  // A character of two UTF-16 units across the limit is not split.
  const std::string emoji = "\xF0\x9F\x98\x80";
  EXPECT_EQ(CutReceivedText(std::string(127, 'a') + emoji), std::string(127, 'a') + kEllipsis);
  EXPECT_EQ(CutReceivedText(std::string(126, 'a') + emoji), std::string(126, 'a') + emoji);
}

TEST(TrapAdmissionTest, RefusalLinesCarryCutTexts) {
  test::MessageCapture capture(eTrace);
  TSNMPRec rec;
  rec.FCommunity = std::string(300, 'c');
  ReportAdmission({TAdmission::eBadCommunity, ""}, rec);
  rec.FVersion = 3;
  rec.FFlags = TV3Flags::AuthPriv;
  rec.FUserName = std::string(200, 'u');
  rec.FAuthEngineID = std::string(40, '\x01');
  ReportAdmission({TAdmission::eUnknownUser, ""}, rec);
  const std::string user = std::string(128, 'u') + kEllipsis;
  EXPECT_EQ(capture.Lines(), (std::vector<std::string>{
                                 "Hint:  SNMPv1 trap packet width invalid community \"" +
                                     std::string(128, 'c') + kEllipsis + "\" ignored!",
                                 "Error: Unknown authorisation username \"" + user + "\"!",
                                 "Trace: SNMPv3 trap refused: EngineID=" + Repeat("01", 32) +
                                     kEllipsis + ", User=\"" + user + "\", SecurityLevel=AuthPriv",
                             }));
}

// SNMPv2c by its switches: off, the community (an empty one refuses every
// message), and the PDU: traps, and informs only when they are answered.
TEST(TrapAdmissionTest, SnmpV2cByCommunityAndPdu) {
  struct Case {
    bool AcceptV2c;
    bool AnswerInforms;
    const char* Community;  // configured
    const char* Received;
    std::int32_t Pdu;
    TAdmission Expected;
  };
  const Case cases[] = {
      {false, true, "public", "public", kPduTrapV2, TAdmission::eBadVersion},
      {true, false, "public", "public", kPduTrapV2, TAdmission::eAdmitted},
      {true, false, "public", "Public", kPduTrapV2, TAdmission::eV2cBadCommunity},
      {true, false, "", "", kPduTrapV2, TAdmission::eV2cBadCommunity},
      {true, false, "public", "public", kPduInformRequest, TAdmission::eV2cBadPdu},
      {true, true, "public", "public", kPduInformRequest, TAdmission::eAdmitted},
      {true, true, "public", "public", kPduTrapV1, TAdmission::eV2cBadPdu},
      {true, true, "public", "public", kPduGetRequest, TAdmission::eV2cBadPdu},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.AcceptV2c << c.AnswerInforms << c.Community << "/"
                                      << c.Received << "/" << c.Pdu);
    TTrapCredentials credentials;
    credentials.Community = c.Community;
    credentials.AcceptV2c = c.AcceptV2c;
    credentials.AnswerInforms = c.AnswerInforms;
    TSNMPRec rec;
    rec.FVersion = 1;
    rec.FCommunity = c.Received;
    rec.FPDUType = c.Pdu;
    EXPECT_EQ(Admit(credentials, rec, rec.EncodeBuf()).Verdict, c.Expected);
  }
  test::MessageCapture capture(eTrace);
  TSNMPRec rec;
  rec.FVersion = 1;
  rec.FCommunity = std::string(300, 'c') + "\n";
  ReportAdmission({TAdmission::eV2cBadCommunity, ""}, rec);
  rec.FPDUType = kPduGetRequest;
  ReportAdmission({TAdmission::eV2cBadPdu, ""}, rec);
  EXPECT_EQ(capture.Lines(), (std::vector<std::string>{
                                 "Hint:  SNMPv2c trap packet with invalid community \"" +
                                     std::string(128, 'c') + kEllipsis + "\" ignored!",
                                 "Hint:  SNMPv2c packet with PDU type A0 ignored!",
                             }));
}

// The user of [SnmpTrapReceiver] first, then further users by name, each
// with its own protocols and password.
TEST(TrapAdmissionTest, FurtherUsersAreAdmittedWithTheirOwnKeys) {
  TTrapCredentials c;
  c.UserName = "main";
  c.UserPwd = "main-auth-pw";
  c.MoreUsers = {{"ops", TV3Auth::AuthSHA256, "ops-auth-pw", true, TV3Priv::PrivAES256, "ops-p"},
                 {"watch", TV3Auth::AuthSHA1, "watch-auth-pw", false, TV3Priv::PrivDES, ""},
                 // A name of the first user: that user wins.
                 {"main", TV3Auth::AuthSHA1, "other-pw", true, TV3Priv::PrivAES, "other-p"},
                 {"ops", TV3Auth::AuthMD5, "second-ops-pw", false, TV3Priv::PrivDES, ""}};
  struct Case {
    const char* User;
    TV3Flags Flags;
    TV3Auth Auth;
    const char* AuthPassword;
    TAdmission Expected;
    const char* AdmittedAs;  // a further user's name, or "" for the first user
  };
  const Case cases[] = {
      {"main", TV3Flags::AuthPriv, TV3Auth::AuthMD5, "main-auth-pw", TAdmission::eAdmitted, ""},
      {"main", TV3Flags::AuthNoPriv, TV3Auth::AuthSHA1, "other-pw", TAdmission::eAuthFailed, ""},
      {"ops", TV3Flags::AuthPriv, TV3Auth::AuthSHA256, "ops-auth-pw", TAdmission::eAdmitted, "ops"},
      {"ops", TV3Flags::AuthNoPriv, TV3Auth::AuthSHA256, "main-auth-pw", TAdmission::eAuthFailed,
       "ops"},
      {"ops", TV3Flags::AuthNoPriv, TV3Auth::AuthMD5, "second-ops-pw", TAdmission::eAuthFailed,
       "ops"},
      {"watch", TV3Flags::AuthNoPriv, TV3Auth::AuthSHA1, "watch-auth-pw", TAdmission::eAdmitted,
       "watch"},
      // No privacy fields: AuthPriv is refused as from an unknown user.
      {"watch", TV3Flags::AuthPriv, TV3Auth::AuthSHA1, "watch-auth-pw", TAdmission::eUnknownUser,
       nullptr},
      {"nobody", TV3Flags::AuthNoPriv, TV3Auth::AuthMD5, "main-auth-pw", TAdmission::eUnknownUser,
       nullptr},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.User) + " " + std::to_string(static_cast<int>(k.Flags)));
    test::SampleTrap sample = test::SampleV3(k.Flags, k.Auth, TV3Priv::PrivAES256);
    sample.User = k.User;
    sample.AuthPassword = k.AuthPassword;
    const std::string bytes = test::EncodeSample(sample);
    TSNMPRec rec;
    ASSERT_TRUE(rec.DecodeBuf(bytes, false));
    const TAdmissionVerdict v = Admit(c, rec, bytes);
    EXPECT_EQ(v.Verdict, k.Expected);
    if (k.AdmittedAs == nullptr || *k.AdmittedAs == '\0') {
      EXPECT_EQ(v.User, nullptr);
    } else {
      ASSERT_NE(v.User, nullptr);
      EXPECT_EQ(v.User, &c.MoreUsers[std::string(k.AdmittedAs) == "ops" ? 0 : 1]);
    }
  }
}

TEST(TrapAdmissionTest, RefusalsAreLimitedPerKindAndSecond) {
  TRefusalLimiter limiter;
  int allowed = 0;
  for (int i = 0; i < 15; ++i)
    allowed += limiter.Allow(TRefusalLimiter::eRefused, 100 + i);
  EXPECT_EQ(allowed, 10);
  // Packet errors have a limit of their own.
  EXPECT_TRUE(limiter.Allow(TRefusalLimiter::ePacketError, 200));
  // The first report comes at once, the next a second later at the earliest.
  EXPECT_EQ(limiter.TakeNotLogged(300), 5u);
  EXPECT_FALSE(limiter.Pending());
  EXPECT_FALSE(limiter.Allow(TRefusalLimiter::eRefused, 1099));  // still the first second
  EXPECT_TRUE(limiter.Allow(TRefusalLimiter::eRefused, 1100));   // a new one
  for (int i = 0; i < 10; ++i)
    limiter.Allow(TRefusalLimiter::eRefused, 1100);
  EXPECT_TRUE(limiter.Pending());
  EXPECT_EQ(limiter.TakeNotLogged(1200), 0u);  // less than a second since the last report
  EXPECT_EQ(limiter.TakeNotLogged(1300), 2u);  // 1099's and one of 1100's
  EXPECT_EQ(limiter.TakeNotLogged(5000), 0u);  // nothing waiting
}

TEST(TrapAdmissionTest, TheQueueIsBoundedInDatagramsAndBytes) {
  const TSocketAddress from = ResolveAddress("127.0.0.1", 162, TSockType::eDatagram);
  TTrapDatagramQueue byCount(3, 1 << 20);
  for (int i = 0; i < 5; ++i)
    byCount.Push("trap", from);
  EXPECT_EQ(byCount.Count(), 3u);
  EXPECT_EQ(byCount.Dropped(), 2u);

  TTrapDatagramQueue byBytes(100, 1000);
  const std::string big(400, 'x');
  EXPECT_TRUE(byBytes.Push(big, from));
  EXPECT_TRUE(byBytes.Push(big, from));
  EXPECT_FALSE(byBytes.Push(big, from));
  EXPECT_TRUE(byBytes.Push(std::string(200, 'y'), from));  // what still fits
  EXPECT_EQ(byBytes.Bytes(), 1000u);

  // Taken in batches bounded by count and bytes, at least one, oldest first.
  std::vector<TTrapDatagram> batch;
  EXPECT_EQ(byBytes.Take(batch, 10, 500, std::chrono::milliseconds(0)), 1u);
  EXPECT_EQ(batch[0].Data, big);
  EXPECT_EQ(batch[0].From.Host(), "127.0.0.1");
  EXPECT_EQ(byBytes.Take(batch, 10, 5000, std::chrono::milliseconds(0)), 2u);
  EXPECT_EQ(batch[1].Data, std::string(200, 'y'));
  EXPECT_EQ(byBytes.Bytes(), 0u);
  EXPECT_EQ(byBytes.Take(batch, 10, 5000, std::chrono::milliseconds(0)), 0u);
}

}  // namespace
}  // namespace tavo
