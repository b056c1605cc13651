// The real tavo receiving traps from net-snmp's snmptrap: the receiver's
// messages, SNMPv3 admission, the dispatch, and a stop under load.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "HostileDatagrams.h"
#include "NetSnmpPeer.h"
#include "SampleTraps.h"
#include "TavoE2E.h"
#include "UdpListener.h"
#include "platform/Socket.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kBase = "1.3.6.4.1.52814.8424";
constexpr const char* kUser = "TavoSnmpTrap";
constexpr const char* kAuthPwd = "4TorfBalunixe!";
constexpr const char* kPrivPwd = "QuastelbrinkSorgenlaufwer";
constexpr const char* kEngine = "0x8000000001020304";

class TrapE2ETest : public ::testing::Test {
 protected:
  std::string ReceiverSection(const std::string& aExtra = "Community=public\n") const {
    // Bound to loopback only: the traps of these tests all come from there.
    return "[SnmpTrapReceiver]\nHost=127.0.0.1\nBindAddress=127.0.0.1\nPort=" +
           std::to_string(fPort) + "\n" + aExtra;
  }
  void StartTavo(const std::string& aIni) {
    fTavo = std::make_unique<TavoRun>(fDir, aIni);
    fTavo->Start();
    ASSERT_TRUE(
        fTavo->WaitForLine("SNMP trap receiver listening on 127.0.0.1:" + std::to_string(fPort)))
        << fTavo->Dump();
    ASSERT_TRUE(WaitForUdpPortTaken(fPort));
  }
  std::string Target() const { return "127.0.0.1:" + std::to_string(fPort); }
  // snmptrap -v 1 with the test sender's enterprise and the given bindings.
  RunResult V1(const std::string& aCommunity, const std::vector<std::string>& aBindings) {
    return RunSnmpTrap(fDir.Path(), SnmpV1TrapArgs({.Target = Target(),
                                                    .Community = aCommunity,
                                                    .Enterprise = std::string(kBase) + ".0",
                                                    .Specific = "8424",
                                                    .Bindings = aBindings}));
  }
  // snmptrap -v 3 at a security level, with the message id and text bindings.
  RunResult V3(const std::string& aLevel, const std::string& aUser, const std::string& aAuthPwd,
               const std::string& aAuth = "MD5", const std::string& aPriv = "DES",
               const std::string& aTool = "snmptrap") {
    std::vector<std::string> args = SnmpV3Args({.EngineId = kEngine,
                                                .Name = aUser,
                                                .Level = aLevel,
                                                .Auth = aAuth,
                                                .AuthPassword = aAuthPwd,
                                                .Priv = aPriv,
                                                .PrivPassword = kPrivPwd});
    if (aTool == "snmpinform")
      args.insert(args.end(), {"-r", "0", "-t", "1"});
    args.insert(args.end(), {Target(), "", std::string(kBase) + ".0", std::string(kBase) + ".1",
                             "i", "100", std::string(kBase) + ".2", "s", "v3 text"});
    return RunSnmpTrap(fDir.Path(), args, aTool);
  }
  // Waits for aCount lines containing aText in all.
  bool WaitForCount(const std::string& aText, int aCount) {
    return WaitFor([&] { return fTavo->Count(aText) >= aCount; }, 10s);
  }

  TempDir fDir;
  std::uint16_t fPort = FreeUdpPort();
  std::unique_ptr<TavoRun> fTavo;
};

TEST_F(TrapE2ETest, ReceiverAndDispatchMessagesWithoutAClient) {
  StartTavo("[Logging]\nLevel=Debug\n" + ReceiverSection());
  ASSERT_EQ(V1("public", {}).Status, 0);
  ASSERT_EQ(V1("public", {std::string(kBase) + ".1", "i", "100"}).Status, 0);
  ASSERT_EQ(V1("Public", {}).Status, 0);
  ASSERT_EQ(RunSnmpTrap(fDir.Path(),
                        {"-v", "2c", "-c", "public", Target(), "", std::string(kBase) + ".0"})
                .Status,
            0);
  ASSERT_TRUE(WaitForCount("SNMP trap packet received from 127.0.0.1: Version=", 4))
      << fTavo->Dump();
  ASSERT_TRUE(fTavo->WaitForLine("not supported"));
  ASSERT_TRUE(fTavo->Stop());
  const auto lines = fTavo->Lines();
  auto after = [&](int aNth) {  // the lines following the aNth packet line
    std::vector<std::string> out;
    int seen = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find("SNMP trap packet received") == std::string::npos)
        continue;
      if (++seen != aNth)
        continue;
      for (std::size_t j = i + 1;
           j < lines.size() && lines[j].find("SNMP trap packet received") == std::string::npos &&
           lines[j] != "Info:  Service closed";
           ++j) {
        out.push_back(lines[j]);
      }
    }
    return out;
  };
  EXPECT_THAT(lines,
              ::testing::Contains("Trace: SNMP trap packet received from 127.0.0.1: Version=0, "
                                  "RequestId=1, ErrorStatus=0, ErrorIndex=0, MIBs=0"));
  EXPECT_THAT(after(1), ::testing::ElementsAre("Trace: No MIBs in SNMP trap"));
  EXPECT_THAT(after(2),
              ::testing::ElementsAre("Debug: " + std::string(kBase) + ".1 = 100",
                                     "Trace: No client configuration with OID \"" +
                                         std::string(kBase) + ".1\" and following OIDs found!"));
  EXPECT_THAT(after(3),
              ::testing::ElementsAre(
                  "Hint:  SNMPv1 trap packet width invalid community \"Public\" ignored!"));
  EXPECT_THAT(after(4),
              ::testing::ElementsAre("Warning: SNMP trap packet version 1 not supported"));
}

TEST_F(TrapE2ETest, WithoutACommunitySnmpV1IsOff) {
  StartTavo(ReceiverSection(""));
  ASSERT_EQ(V1("public", {}).Status, 0);
  ASSERT_TRUE(fTavo->WaitForLine("Hint:  SNMPv1 disabled!")) << fTavo->Dump();
  ASSERT_TRUE(fTavo->Stop());
}

TEST_F(TrapE2ETest, SnmpV3RefusalsAndTheReportableWarning) {
  StartTavo(ReceiverSection());
  ASSERT_EQ(V3("authNoPriv", kUser, "wrong-password").Status, 0);
  ASSERT_TRUE(fTavo->WaitForLine("Error: Authentication failed!")) << fTavo->Dump();
  ASSERT_EQ(V3("authNoPriv", "intruder", kAuthPwd).Status, 0);
  ASSERT_TRUE(fTavo->WaitForLine("Error: Unknown authorisation\"intruder\"!")) << fTavo->Dump();
  ASSERT_EQ(V3("authPriv", "intruder", kAuthPwd).Status, 0);
  ASSERT_TRUE(fTavo->WaitForLine("Error: Unknown authorisation username \"intruder\"!"))
      << fTavo->Dump();
  ASSERT_EQ(V3("noAuthNoPriv", kUser, "").Status, 0);
  // An authentic inform carries the reportable flag: it is handed on, and
  // no answer is ever sent (snmpinform gives up).
  V3("authNoPriv", kUser, kAuthPwd, "MD5", "DES", "snmpinform");
  ASSERT_TRUE(fTavo->WaitForLine("Warning: SNMP trap reply not supported!")) << fTavo->Dump();
  ASSERT_TRUE(fTavo->Stop());
  EXPECT_EQ(fTavo->Count("Trace: SNMPv3 trap refused: EngineID=8000000001020304, "
                         "User=\"TavoSnmpTrap\", SecurityLevel=AuthNoPriv"),
            1)
      << fTavo->Dump();
  EXPECT_EQ(fTavo->Count("Trace: SNMPv3 trap refused: EngineID=8000000001020304, "
                         "User=\"intruder\", SecurityLevel=AuthPriv"),
            1);
  // noAuthNoPriv: the packet line and nothing else; only the inform is
  // handed on to the dispatch.
  EXPECT_EQ(fTavo->Count("Error: "), 3);
  EXPECT_EQ(fTavo->Count("No client configuration"), 1) << fTavo->Dump();
}

TEST_F(TrapE2ETest, AnEmptyUserPasswordMakesEveryAuthenticatedTrapAPacketError) {
  StartTavo(ReceiverSection("UserPassword=\n"));
  ASSERT_EQ(V3("authNoPriv", kUser, kAuthPwd).Status, 0);
  ASSERT_TRUE(fTavo->WaitForLine("Error: SNMP trap packet error: ")) << fTavo->Dump();
  ASSERT_TRUE(fTavo->Stop());
}

TEST_F(TrapE2ETest, SigtermUnderASteadyTrapLoad) {
  StartTavo(ReceiverSection());
  std::atomic<bool> stop{false};
  std::thread load([&] {
    const std::string bytes = EncodeSample(SampleV1());
    TUdpSocket sender;
    const TSocketAddress to = ResolveAddress("127.0.0.1", fPort, TSockType::eDatagram);
    for (int i = 0; i < 200000 && !stop; ++i) {  // about 5,000 a second
      sender.SendTo(bytes, to);
      if (i % 50 == 49)
        std::this_thread::sleep_for(10ms);
    }
  });
  ASSERT_TRUE(WaitForCount("SNMP trap packet received", 2000)) << fTavo->Dump();
  const auto begin = std::chrono::steady_clock::now();
  const bool ended = fTavo->Stop(SIGTERM, 6s);
  const auto took = std::chrono::steady_clock::now() - begin;
  stop = true;
  load.join();
  ASSERT_TRUE(ended);
  EXPECT_LT(took, 6s);
  EXPECT_EQ(fTavo->Process().ExitStatus(), 0);
  const auto lines = fTavo->Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Info:  Service closed");
  EXPECT_EQ(fTavo->Count("Service closed"), 1);
}

// What an attacker on the network sends — nested items in every place a
// decoder steps into, at up to 64 KB, more bindings than are kept, AuthPriv
// traps from engines never seen — costs the receiver little, writes few
// lines, and the authentic trap behind it is counted.
TEST_F(TrapE2ETest, AHostileBurstLeavesTheNextTrapCounted) {
  UdpListener manager;
  fDir.Write("seen.txt", "100\r\nSeen %CLIENT_NAME\r\n%TEXT\r\n");
  StartTavo("[General]\nCheckInterval=1\n" + ReceiverSection() +
            "[Recipients]\nManager=Type=SnmpTrapV1;Host=127.0.0.1;Port=" +
            std::to_string(manager.Port()) + "\n[Client App]\nName=App\nOidMsgId=" + kBase +
            ".1\nOidMsgText=" + kBase + ".2\n100=Seen;0;0;Send;Manager;seen.txt\n");
  std::vector<std::string> burst;
  for (const TNesting place : {TNesting::eBindingList, TNesting::eOid, TNesting::eValue,
                               TNesting::ePduHeader, TNesting::eSecurityParameters}) {
    for (const std::size_t size : {1000u, 8000u, 65000u})
      burst.push_back(NestedDatagram(place, size));
  }
  burst.push_back(ManyBindingsTrap(1001));
  for (std::string& d : ForgedAuthPrivTraps(300, TV3Auth::AuthMD5, TV3Priv::PrivDES))
    burst.push_back(std::move(d));
  TUdpSocket sender;
  const TSocketAddress to = ResolveAddress("127.0.0.1", fPort, TSockType::eDatagram);
  for (int round = 0; round < 3; ++round) {
    for (const std::string& d : burst)
      sender.SendTo(d, to);
  }
  sender.SendTo(EncodeSample(SampleV1()), to);
  TSNMPRec report;
  ASSERT_TRUE(report.DecodeBuf(manager.Receive(15s))) << fTavo->Dump();
  EXPECT_EQ(report.MIBGet("1.3.6.4.1.52814.8423.2"), "Seen App");
  ASSERT_TRUE(fTavo->Stop());
  // About a thousand datagrams were refused; a few dozen wrote lines.
  EXPECT_LT(fTavo->Lines().size(), 200u) << fTavo->Dump();
  EXPECT_GE(fTavo->Count("refused datagram(s) not logged"), 1);
}

// SNMPv2c with AcceptV2c: snmptrap's traps are dispatched past their
// sysUpTime.0 and snmpTrapOID.0, a wrong community is refused, and
// snmpinform's informs are answered (it exits 0) with AnswerInforms.
TEST_F(TrapE2ETest, SnmpV2cTrapsAndInformsWithTheSwitchesOn) {
  StartTavo(ReceiverSection("Community=public\nAcceptV2c=1\nAnswerInforms=1\n"));
  const std::string id = std::string(kBase) + ".1";
  auto v2c = [&](const std::string& aCommunity, const std::string& aTool) {
    return RunSnmpTrap(fDir.Path(),
                       {"-v", "2c", "-c", aCommunity, "-r", "0", "-t", "1", Target(), "",
                        std::string(kBase) + ".0", id, "i", "100"},
                       aTool);
  };
  ASSERT_EQ(v2c("public", "snmptrap").Status, 0);
  ASSERT_EQ(v2c("Public", "snmptrap").Status, 0);
  const RunResult inform = v2c("public", "snmpinform");
  EXPECT_EQ(inform.Status, 0) << inform.Err << fTavo->Dump();
  EXPECT_NE(v2c("wrong", "snmpinform").Status, 0);  // refused: no answer
  ASSERT_TRUE(WaitForCount("SNMP trap packet received from 127.0.0.1: Version=1", 4))
      << fTavo->Dump();
  ASSERT_TRUE(fTavo->Stop());
  EXPECT_EQ(fTavo->Count("Trace: No client configuration with OID \"" + id +
                         "\" and following OIDs found!"),
            2)
      << fTavo->Dump();
  EXPECT_EQ(fTavo->Count("Hint:  SNMPv2c trap packet with invalid community \"Public\" ignored!"),
            1);
  EXPECT_EQ(fTavo->Count("Hint:  SNMPv2c trap packet with invalid community \"wrong\" ignored!"),
            1);
  EXPECT_EQ(fTavo->Count("not supported"), 0);
}

// snmpinform -v3 without -e: it discovers Tavo's engine and its time, then
// sends the inform, which Tavo dispatches and acknowledges, for the user of
// [SnmpTrapReceiver] and for users of [SnmpV3Users] under other protocols.
// A wrong password gets no answer and is not dispatched.
TEST_F(TrapE2ETest, SnmpV3InformsAreAnsweredAfterDiscovery) {
  struct Row {
    const char* User;
    const char* Level;
    const char* Auth;
    const char* Priv;
    const char* AuthPassword;
    bool Answered;
  };
  const std::vector<Row> rows = {
      {kUser, "authPriv", "MD5", "DES", kAuthPwd, true},
      {"sha", "authNoPriv", "SHA", "", "sha-password", true},
      {"sha256aes", "authPriv", "SHA-256", "AES", "sha256-password", true},
      {"sha512aes256", "authPriv", "SHA-512", "AES-256", "sha512-password", true},
      {"shaaes192", "authPriv", "SHA", "AES-192", "sha-aes192-password", true},
      {"md5aes256c", "authPriv", "MD5", "AES-256-C", "md5-aes256c-password", true},
      {"sha256", "authNoPriv", "SHA-256", "", "sha256-nopriv-password", true},
      {"sha256aes", "authPriv", "SHA-256", "AES", "wrong-password", false},
  };
  std::string users = "[SnmpV3Users]\n";
  for (const Row& row : rows) {
    if (row.User == std::string(kUser) || !row.Answered)
      continue;
    users += std::string(row.User) + "=" + row.Auth + ";" + row.AuthPassword + ";" + row.Priv +
             ";" + (row.Priv[0] ? kPrivPwd : "") + "\n";
  }
  StartTavo(ReceiverSection("AnswerInforms=1\n") + users);
  ASSERT_TRUE(fTavo->WaitForLine("SNMP trap receiver answers informs as SNMP engine 80"))
      << fTavo->Dump();
  int dispatched = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.User) + " " + row.Auth + "/" + row.Priv);
    std::vector<std::string> args = SnmpV3Args({.Name = row.User,
                                                .Level = row.Level,
                                                .Auth = row.Auth,
                                                .AuthPassword = row.AuthPassword,
                                                .Priv = row.Priv,
                                                .PrivPassword = kPrivPwd});
    args.insert(args.end(), {"-r", "0", "-t", row.Answered ? "3" : "1", Target(), "",
                             std::string(kBase) + ".0", std::string(kBase) + ".1", "i", "100"});
    const RunResult r = RunSnmpTrap(fDir.Path(), args, "snmpinform");
    EXPECT_EQ(r.Status == 0, row.Answered) << r.Err << fTavo->Dump();
    dispatched += row.Answered;
    EXPECT_TRUE(WaitForCount("Trace: No client configuration with OID", dispatched))
        << fTavo->Dump();
  }
  ASSERT_TRUE(fTavo->Stop());
  EXPECT_EQ(fTavo->Count("Trace: No client configuration with OID"), dispatched) << fTavo->Dump();
  EXPECT_EQ(fTavo->Count("Error: Authentication failed!"), 1);
  // Only the refused inform, which got no answer, says so.
  EXPECT_EQ(fTavo->Count("SNMP trap reply not supported!"), 1);
}

// tavot's SNMPv2c trap, and its informs in both versions (SNMPv3 with its
// own discovery), answered and counted by Tavo.
TEST_F(TrapE2ETest, TavotsInformsAreAnsweredByTavo) {
  StartTavo(ReceiverSection("Community=public\nAcceptV2c=1\nAnswerInforms=1\n"));
  const std::vector<std::string> port = {"--port", std::to_string(fPort), "--timeout",
                                         "2",      "--retries",           "0"};
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--v2c"},
                                             {"--v2c", "--inform"},
                                             {"--v3", "--inform"},
                                             {"--v3", "--inform", "--level", "AuthNoPriv"}}) {
    std::vector<std::string> argv = {TAVOT_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), port.begin(), port.end());
    const RunResult r = RunProgram(argv, fDir.File("tavot"), 20s,
                                   {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"});
    EXPECT_EQ(r.Status, 0) << ::testing::PrintToString(args) << r.Err << fTavo->Dump();
  }
  ASSERT_TRUE(WaitForCount("Trace: No client configuration with OID", 4)) << fTavo->Dump();
  ASSERT_TRUE(fTavo->Stop());
  // Past sysUpTime.0 and snmpTrapOID.0: the message id binding is named.
  EXPECT_EQ(fTavo->Count("Trace: No client configuration with OID \"" + std::string(kBase) +
                         ".1\" and following OIDs found!"),
            2)
      << fTavo->Dump();
  EXPECT_EQ(fTavo->Count("SNMP trap reply not supported!"), 0);
}

}  // namespace
}  // namespace tavo::test
