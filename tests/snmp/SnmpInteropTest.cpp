// The codec against net-snmp on 127.0.0.1: what snmptrap sends, we read and
// verify; what we send, snmptrapd receives and logs.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ByteText.h"
#include "NetSnmpPeer.h"
#include "SampleTraps.h"
#include "TestSupport.h"
#include "UdpListener.h"
#include "platform/TextCodec.h"
#include "snmp/BerEncoding.h"
#include "snmp/SnmpEndpoint.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

using test::Hex;
using test::Unhex;

const char kEngineHex[] = "80001F88804E6574536E6D7031";
const char kAuthPwd[] = "authpass123";
const char kPrivPwd[] = "privpass123";

struct Binding {
  std::string Oid;
  std::string Value;
  std::int32_t Tag;
};

// The bindings every snmptrap below sends after its trap header, with their
// snmptrap type letters and what our decoder must make of them.
struct SentBinding {
  const char* Type;
  const char* Given;
  Binding Expected;
};
const std::vector<SentBinding> kSent = {
    {"i", "100", {"1.3.6.4.1.52814.8424.1", "100", kBerInteger}},
    {"i", "-129", {"1.3.6.4.1.52814.8424.3", "-129", kBerInteger}},
    {"s",
     "Gr\xC3\xBC\xC3\x9F"
     "e",
     {"1.3.6.4.1.52814.8424.2",
      "Gr\xC3\xBC\xC3\x9F"
      "e",
      kBerOctetString}},
    {"x",
     "00FF41",
     {"1.3.6.4.1.52814.8424.4",
      std::string("\0\xFF"
                  "A",
                  3),
      kBerOctetString}},
    {"o", "1.3.6.1.4.1.8072", {"1.3.6.4.1.52814.8424.5", "1.3.6.1.4.1.8072", kBerObjectId}},
    {"a", "10.1.2.3", {"1.3.6.4.1.52814.8424.6", "10.1.2.3", kBerIpAddress}},
    {"t", "200", {"1.3.6.4.1.52814.8424.7", "200", kBerTimeTicks}},
    {"c", "4294967295", {"1.3.6.4.1.52814.8424.8", "4294967295", kBerCounter32}},
    {"u", "7", {"1.3.6.4.1.52814.8424.9", "7", kBerGauge32}},
};

std::vector<std::string> BindingArgs() {
  std::vector<std::string> args;
  for (const SentBinding& b : kSent) {
    args.push_back(b.Expected.Oid);
    args.push_back(b.Type);
    args.push_back(b.Given);
  }
  return args;
}

struct SnmpTrapCase {
  const char* Name;
  std::vector<std::string> Args;  // before the address
  int Version;
  TV3Flags Flags;
  TV3Auth Auth;
  TV3Priv Priv;
};

class SnmpInteropTest : public testing::Test {
 protected:
  // Runs snmptrap against our socket and returns the datagram it sent.
  std::string Capture(const std::vector<std::string>& aArgs) {
    const test::RunResult r = test::RunSnmpTrap(fDir.Path(), aArgs);
    EXPECT_EQ(r.Status, 0) << r.Err;
    return fListener.Receive();
  }
  std::string Address() const { return fListener.Address(); }

  test::TempDir fDir;
  test::UdpListener fListener;
};

void ExpectSentBindings(const TSNMPRec& aRec, int aFirst) {
  ASSERT_EQ(aRec.MIBCount(), aFirst + static_cast<int>(kSent.size()));
  for (std::size_t i = 0; i < kSent.size(); ++i) {
    const TSNMPMib* mib = aRec.MIBByIndex(aFirst + static_cast<int>(i));
    EXPECT_EQ(mib->FOID, kSent[i].Expected.Oid);
    EXPECT_EQ(Hex(mib->FValue), Hex(kSent[i].Expected.Value)) << mib->FOID;
    EXPECT_EQ(mib->FValueType, kSent[i].Expected.Tag) << mib->FOID;
  }
}

TEST_F(SnmpInteropTest, ReadsSnmpV1TrapsFromSnmptrap) {
  TSNMPRec rec;
  ASSERT_TRUE(rec.DecodeBuf(Capture(test::SnmpV1TrapArgs({.Target = Address(),
                                                          .Enterprise = "1.3.6.1.4.1.8072.3",
                                                          .Agent = "192.0.2.1",
                                                          .Specific = "17",
                                                          .Uptime = "4242",
                                                          .Bindings = BindingArgs()}))));
  EXPECT_EQ(rec.FVersion, 0);
  EXPECT_EQ(rec.FPDUType, kPduTrapV1);
  EXPECT_EQ(rec.FCommunity, "public");
  EXPECT_EQ(rec.FOldTrapEnterprise, "1.3.6.1.4.1.8072.3");
  EXPECT_EQ(rec.FOldTrapHost, "192.0.2.1");
  EXPECT_EQ(rec.FOldTrapGen, 6);
  EXPECT_EQ(rec.FOldTrapSpec, 17);
  EXPECT_EQ(rec.FOldTrapTimeTicks, 4242u);
  ExpectSentBindings(rec, 0);
}

TEST_F(SnmpInteropTest, ReadsAndVerifiesSnmpV2cAndV3TrapsFromSnmptrap) {
  // tuser at a level; without the engine ID, snmptrap uses one of its own.
  auto v3 = [](const char* aLevel, const char* aAuth = "MD5", const char* aPriv = "DES",
               bool aEngineId = true) {
    return test::SnmpV3Args({.EngineId = aEngineId ? std::string("0x") + kEngineHex : "",
                             .Name = "tuser",
                             .Level = aLevel,
                             .Auth = aAuth,
                             .AuthPassword = kAuthPwd,
                             .Priv = aPriv,
                             .PrivPassword = kPrivPwd});
  };
  const std::vector<SnmpTrapCase> cases = {
      {"v2c",
       {"-v", "2c", "-c", "public"},
       1,
       TV3Flags::NoAuthNoPriv,
       TV3Auth::AuthMD5,
       TV3Priv::PrivDES},
      {"noAuthNoPriv", v3("noAuthNoPriv"), 3, TV3Flags::NoAuthNoPriv, TV3Auth::AuthMD5,
       TV3Priv::PrivDES},
      {"MD5", v3("authNoPriv", "MD5"), 3, TV3Flags::AuthNoPriv, TV3Auth::AuthMD5, TV3Priv::PrivDES},
      {"SHA", v3("authNoPriv", "SHA"), 3, TV3Flags::AuthNoPriv, TV3Auth::AuthSHA1,
       TV3Priv::PrivDES},
      {"MD5/DES", v3("authPriv", "MD5", "DES"), 3, TV3Flags::AuthPriv, TV3Auth::AuthMD5,
       TV3Priv::PrivDES},
      {"SHA/DES", v3("authPriv", "SHA", "DES"), 3, TV3Flags::AuthPriv, TV3Auth::AuthSHA1,
       TV3Priv::PrivDES},
      {"MD5/AES", v3("authPriv", "MD5", "AES"), 3, TV3Flags::AuthPriv, TV3Auth::AuthMD5,
       TV3Priv::PrivAES},
      {"SHA/AES", v3("authPriv", "SHA", "AES"), 3, TV3Flags::AuthPriv, TV3Auth::AuthSHA1,
       TV3Priv::PrivAES},
      {"SHA/AES own engine", v3("authPriv", "SHA", "AES", false), 3, TV3Flags::AuthPriv,
       TV3Auth::AuthSHA1, TV3Priv::PrivAES},
      // SHA-2 codes of every length; AES-192/256 with keys extended from MD5's
      // 16 and SHA-1's 20 bytes both ways, and long enough without.
      {"SHA-224", v3("authNoPriv", "SHA-224"), 3, TV3Flags::AuthNoPriv, TV3Auth::AuthSHA224,
       TV3Priv::PrivDES},
      {"SHA-384", v3("authNoPriv", "SHA-384"), 3, TV3Flags::AuthNoPriv, TV3Auth::AuthSHA384,
       TV3Priv::PrivDES},
      {"SHA-256/DES", v3("authPriv", "SHA-256", "DES"), 3, TV3Flags::AuthPriv, TV3Auth::AuthSHA256,
       TV3Priv::PrivDES},
      {"SHA-512/AES", v3("authPriv", "SHA-512", "AES"), 3, TV3Flags::AuthPriv, TV3Auth::AuthSHA512,
       TV3Priv::PrivAES},
      {"MD5/AES-192", v3("authPriv", "MD5", "AES-192"), 3, TV3Flags::AuthPriv, TV3Auth::AuthMD5,
       TV3Priv::PrivAES192},
      {"MD5/AES-256", v3("authPriv", "MD5", "AES-256"), 3, TV3Flags::AuthPriv, TV3Auth::AuthMD5,
       TV3Priv::PrivAES256},
      {"SHA/AES-256", v3("authPriv", "SHA", "AES-256"), 3, TV3Flags::AuthPriv, TV3Auth::AuthSHA1,
       TV3Priv::PrivAES256},
      {"MD5/AES-192-C", v3("authPriv", "MD5", "AES-192-C"), 3, TV3Flags::AuthPriv, TV3Auth::AuthMD5,
       TV3Priv::PrivAES192C},
      {"SHA/AES-256-C", v3("authPriv", "SHA", "AES-256-C"), 3, TV3Flags::AuthPriv,
       TV3Auth::AuthSHA1, TV3Priv::PrivAES256C},
      {"SHA-256/AES-256", v3("authPriv", "SHA-256", "AES-256"), 3, TV3Flags::AuthPriv,
       TV3Auth::AuthSHA256, TV3Priv::PrivAES256},
      {"SHA-224/AES-256-C", v3("authPriv", "SHA-224", "AES-256-C"), 3, TV3Flags::AuthPriv,
       TV3Auth::AuthSHA224, TV3Priv::PrivAES256C},
  };
  for (const SnmpTrapCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> args = c.Args;
    args.insert(args.end(), {Address(), "4242", "1.3.6.4.1.52814.8424.0"});
    const auto bindings = BindingArgs();
    args.insert(args.end(), bindings.begin(), bindings.end());
    const std::string bytes = Capture(args);
    ASSERT_FALSE(bytes.empty());

    TSNMPRec rec;
    rec.FAuthMode = c.Auth;
    rec.FPrivMode = c.Priv;
    rec.FPrivPassword = kPrivPwd;
    ASSERT_TRUE(rec.DecodeBuf(bytes));
    EXPECT_EQ(rec.FVersion, c.Version);
    EXPECT_EQ(rec.FPDUType, kPduTrapV2);
    EXPECT_EQ(rec.FFlags, c.Flags);
    // sysUpTime.0 and snmpTrapOID.0 come first, then what we gave.
    ASSERT_GE(rec.MIBCount(), 2);
    EXPECT_EQ(rec.MIBByIndex(0)->FOID, "1.3.6.1.2.1.1.3.0");
    EXPECT_EQ(rec.MIBByIndex(0)->FValue, "4242");
    EXPECT_EQ(rec.MIBByIndex(0)->FValueType, kBerTimeTicks);
    EXPECT_EQ(rec.MIBByIndex(1)->FOID, "1.3.6.1.6.3.1.1.4.1.0");
    EXPECT_EQ(rec.MIBByIndex(1)->FValue, "1.3.6.4.1.52814.8424.0");
    ExpectSentBindings(rec, 2);
    if (c.Version == 1) {
      EXPECT_EQ(rec.FCommunity, "public");
      continue;
    }
    EXPECT_EQ(rec.FUserName, "tuser");
    if (std::find(c.Args.begin(), c.Args.end(), "-e") != c.Args.end()) {
      EXPECT_EQ(Hex(rec.FAuthEngineID), Hex(Unhex(kEngineHex)));
    }
    if (c.Flags == TV3Flags::NoAuthNoPriv) {
      EXPECT_FALSE(VerifyAuthentication(bytes, c.Auth, kAuthPwd));  // carries no code
      continue;
    }
    EXPECT_TRUE(VerifyAuthentication(bytes, c.Auth, kAuthPwd));
    EXPECT_FALSE(VerifyAuthentication(bytes, c.Auth, "authpass124"));
    for (std::size_t at : {bytes.size() / 3, bytes.size() - 1}) {
      std::string damaged = bytes;
      damaged[at] = static_cast<char>(damaged[at] ^ 0x04);
      EXPECT_FALSE(VerifyAuthentication(damaged, c.Auth, kAuthPwd)) << "byte " << at;
    }
  }
}

// --- our traps at snmptrapd ----------------------------------------------------

void FillV3(TSNMPRec& aQuery, const std::string& aUser, TV3Flags aFlags, TV3Auth aAuth,
            TV3Priv aPriv, const std::string& aMarker) {
  test::SampleTrap sample = test::SampleV3(aFlags, aAuth, aPriv);
  sample.User = aUser;
  sample.AuthPassword = kAuthPwd;
  sample.PrivPassword = kPrivPwd;
  test::SetSampleSender(aQuery, sample);
  // snmptrapd wants sysUpTime.0 and snmpTrapOID.0 in front.
  aQuery.MIBAdd("1.3.6.1.2.1.1.3.0", "4242", kBerTimeTicks);
  aQuery.MIBAdd("1.3.6.1.6.3.1.1.4.1.0", "1.3.6.4.1.52814.8424.0", kBerObjectId);
  aQuery.MIBAdd("1.3.6.4.1.52814.8424.1", aMarker, kBerInteger);
  aQuery.MibAdd2("1.3.6.4.1.52814.8424.2", "caf\xC3\xA9", kBerOctetString);
}

TEST_F(SnmpInteropTest, SnmptrapdLogsOurSnmpV1Trap) {
  test::SnmpTrapd trapd(fDir.Path(), "authCommunity log public\n");
  TSNMPSend snmp;
  snmp.FTargetPort = std::to_string(trapd.Port());
  TSNMPRec& q = snmp.Query();
  test::SetSampleSender(q, test::SampleV1());
  q.FOldTrapHost = "192.0.2.9";
  q.FOldTrapTimeTicks = 360000;
  test::AddTavotBindings(q);  // the message id 100 and a text outside ASCII
  const std::string text = test::kSampleText;
  q.MIBAdd("1.3.6.4.1.52814.8424.3", "10.20.30.40", kBerIpAddress);
  q.MIBAdd("1.3.6.4.1.52814.8424.4", "1.3.6.1.4.1", kBerObjectId);
  ASSERT_TRUE(snmp.SendTrap());

  ASSERT_TRUE(trapd.WaitForLog("Enterprise Specific Trap (8424)")) << trapd.Log();
  const std::string log = trapd.Log();
  EXPECT_NE(log.find("192.0.2.9"), std::string::npos) << log;
  EXPECT_NE(log.find("TRAP, SNMP v1, community public"), std::string::npos) << log;
  EXPECT_NE(log.find(".1.3.6.4.1.52814.8424.0 Enterprise Specific Trap (8424) Uptime: 1:00:00.00"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(".1.3.6.4.1.52814.8424.1 = INTEGER: 100"), std::string::npos) << log;
  EXPECT_NE(log.find(".1.3.6.4.1.52814.8424.3 = IpAddress: 10.20.30.40"), std::string::npos) << log;
  EXPECT_NE(log.find(".1.3.6.4.1.52814.8424.4 = OID: .1.3.6.1.4.1"), std::string::npos) << log;
  // The text went out in Windows-1252, which snmptrapd shows as hex.
  EXPECT_NE(test::WithoutWhitespace(log).find(".1.3.6.4.1.52814.8424.2=Hex-STRING:" +
                                              test::WithoutWhitespace(Hex(Utf8ToCp1252(text)))),
            std::string::npos)
      << log;
}

TEST_F(SnmpInteropTest, SnmptrapdLogsOurSnmpV3TrapsWithAnEngineId) {
  const std::string engine = std::string("0x") + kEngineHex;
  test::SnmpTrapd trapd(
      fDir.Path(),
      "createUser -e " + engine +
          " md5user MD5 authpass123\n"
          "createUser -e " +
          engine +
          " desuser MD5 authpass123 DES privpass123\n"
          "createUser -e " +
          engine +
          " aesuser SHA authpass123 AES privpass123\n"
          "createUser -e " +
          engine +
          " sha2user SHA-512 authpass123 AES-256 privpass123\n"
          "createUser -e " +
          engine +
          " ciscouser MD5 authpass123 AES-192-C privpass123\n"
          "createUser -e " +
          engine +
          " blumuser SHA-224 authpass123 AES-256 privpass123\n"
          "authUser log md5user\nauthUser log desuser priv\nauthUser log aesuser priv\n"
          "authUser log sha2user priv\nauthUser log ciscouser priv\n"
          "authUser log blumuser priv\n");
  struct Case {
    const char* User;
    TV3Flags Flags;
    TV3Auth Auth;
    TV3Priv Priv;
    const char* Marker;
  };
  const Case cases[] = {
      {"md5user", TV3Flags::AuthNoPriv, TV3Auth::AuthMD5, TV3Priv::PrivDES, "301"},
      {"desuser", TV3Flags::AuthPriv, TV3Auth::AuthMD5, TV3Priv::PrivDES, "302"},
      {"aesuser", TV3Flags::AuthPriv, TV3Auth::AuthSHA1, TV3Priv::PrivAES, "303"},
      {"sha2user", TV3Flags::AuthPriv, TV3Auth::AuthSHA512, TV3Priv::PrivAES256, "304"},
      {"ciscouser", TV3Flags::AuthPriv, TV3Auth::AuthMD5, TV3Priv::PrivAES192C, "305"},
      {"blumuser", TV3Flags::AuthPriv, TV3Auth::AuthSHA224, TV3Priv::PrivAES256, "306"},
  };
  for (const Case& c : cases) {
    TSNMPSend snmp;
    snmp.FTargetPort = std::to_string(trapd.Port());
    FillV3(snmp.Query(), c.User, c.Flags, c.Auth, c.Priv, c.Marker);
    snmp.Query().FAuthEngineID = Unhex(kEngineHex);
    snmp.Query().FAuthEngineBoots = 1;
    snmp.Query().FAuthEngineTime = 100;
    ASSERT_TRUE(snmp.SendTrap());
    ASSERT_TRUE(trapd.WaitForLog(std::string(".1.3.6.4.1.52814.8424.1 = INTEGER: ") + c.Marker))
        << c.User << "\n"
        << trapd.Log();
  }
  const std::string log = trapd.Log();
  EXPECT_NE(log.find(".1.3.6.1.2.1.1.3.0 = Timeticks: (4242) 0:00:42.42"), std::string::npos);
  EXPECT_NE(log.find(".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.4.1.52814.8424.0"), std::string::npos);
  EXPECT_NE(log.find(".1.3.6.4.1.52814.8424.2 = Hex-STRING: 63 61 66 E9"), std::string::npos);
}

// Our senders leave the engine ID empty. createUser cannot localise keys for
// an empty engine ID, but a usmUser line with keys localised beforehand
// registers the user: snmptrapd then verifies our code, and drops the trap
// in its timeliness step, because it keeps no engine times for an empty
// engine ID. NoAuthNoPriv traps get through.
TEST_F(SnmpInteropTest, SnmptrapdVerifiesButDropsTrapsWithAnEmptyEngineId) {
  const std::string authKey = DeriveLocalKey(kAuthPwd, TV3Auth::AuthMD5, "");
  const std::string privKey = DeriveLocalKey(kPrivPwd, TV3Auth::AuthMD5, "");
  auto hex = [](const std::string& aBytes) {
    std::string h = test::WithoutWhitespace(Hex(aBytes));
    return "0x" + h;
  };
  test::SnmpTrapd trapd(fDir.Path(),
                        "usmUser 1 3 0x 0x7475736572 0x7475736572 NULL .1.3.6.1.6.3.10.1.1.2 " +
                            hex(authKey) + " .1.3.6.1.6.3.10.1.2.2 " + hex(privKey) +
                            " \"\"\nauthUser log tuser noauth\n",
                        {"-Dusm"});
  for (TV3Flags flags : {TV3Flags::AuthNoPriv, TV3Flags::AuthPriv}) {
    TSNMPSend snmp;
    snmp.FTargetPort = std::to_string(trapd.Port());
    FillV3(snmp.Query(), "tuser", flags, TV3Auth::AuthMD5, TV3Priv::PrivDES, "401");
    ASSERT_TRUE(snmp.SendTrap());
  }
  ASSERT_TRUE(test::WaitFor(
      [&] {
        const std::string err = trapd.Log();
        std::size_t n = 0;
        for (std::size_t at = err.find("Failed to get remote engine's times");
             at != std::string::npos;
             at = err.find("Failed to get remote engine's times", at + 1)) {
          ++n;
        }
        return n == 2;
      },
      std::chrono::seconds(10)))
      << trapd.Log();
  EXPECT_NE(trapd.Log().find("usm: Verification succeeded."), std::string::npos);

  TSNMPSend plain;
  plain.FTargetPort = std::to_string(trapd.Port());
  FillV3(plain.Query(), "tuser", TV3Flags::NoAuthNoPriv, TV3Auth::AuthMD5, TV3Priv::PrivDES, "402");
  ASSERT_TRUE(plain.SendTrap());
  ASSERT_TRUE(trapd.WaitForLog(".1.3.6.4.1.52814.8424.1 = INTEGER: 402")) << trapd.Log();
  EXPECT_EQ(trapd.Log().find("INTEGER: 401"), std::string::npos);
}

}  // namespace
}  // namespace tavo
