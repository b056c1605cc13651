// The road of a trap through the real tavo: received, counted in a
// client's account, reported at the check cycle through an SNMPv1 trap
// recipient (a UDP socket here) and a mail recipient (aiosmtpd); a heartbeat
// watchdog that restarts a real script; SNMPv3 traps from net-snmp counted
// or refused; a malformed configuration. The first table runs against the
// Windows build's tavo.exe under Wine as well (WineRun.h).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>

#include <atomic>
#include <numeric>
#include <optional>
#include <regex>
#include <thread>

#include "NetSnmpPeer.h"
#include "ProcessTestSupport.h"
#include "SmtpPeers.h"
#include "TavoE2E.h"
#include "UdpListener.h"
#include "WineRun.h"
#include "platform/Socket.h"
#include "platform/TextCodec.h"
#include "snmp/SnmpMessage.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;

constexpr const char* kBase = "1.3.6.4.1.52814.8424";
constexpr const char* kUser = "TavoSnmpTrap";
constexpr const char* kAuthPwd = "4TorfBalunixe!";
constexpr const char* kPrivPwd = "QuastelbrinkSorgenlaufwer";
// UTF-8, as net-snmp on Linux sends it.
constexpr const char* kUtf8Text =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xE2\x82\xAC 5 \xC3\xA9";
// tavot's default text, which it sends in Windows-1252.
constexpr const char* kTavotText =
    "Text mit Umlauten & Sonderzeichen \xC3\x84\xC3\xA4\xC3\xA0\xC3\x9C\xC3\xB6\xC3\xA9 "
    "\xE2\x82\xAC$\xC2\xA3";

class ReportE2ETest : public ::testing::Test {
 protected:
  std::string Receiver(const std::string& aExtra = "") const {
    return "[SnmpTrapReceiver]\nHost=127.0.0.1\nPort=" + std::to_string(fPort) +
           "\nCommunity=public\n" + aExtra;
  }
  std::string Target() const { return "127.0.0.1:" + std::to_string(fPort); }
  void StartTavo(const std::string& aIni) {
    fTavo = std::make_unique<TavoRun>(fDir, aIni);
    fTavo->Start();
    ASSERT_TRUE(fTavo->WaitForLine("Trace: Initialization done")) << fTavo->Dump();
    ASSERT_TRUE(WaitForUdpPortTaken(fPort));
  }
  RunResult V1(const std::vector<std::string>& aBindings) {
    return RunSnmpTrap(fDir.Path(), SnmpV1TrapArgs({.Target = Target(),
                                                    .Enterprise = std::string(kBase) + ".0",
                                                    .Specific = "8424",
                                                    .Bindings = aBindings}));
  }
  // The sum N of every "Report "App-100": Counter = N > 0" line.
  int ReportedCount() const {
    int sum = 0;
    const std::regex re("^Trace: Report \"App-100\": Counter = (\\d+) > 0$");
    for (const auto& line : fTavo->Lines()) {
      std::smatch m;
      if (std::regex_match(line, m, re))
        sum += std::stoi(m[1]);
    }
    return sum;
  }

  TempDir fDir;
  std::uint16_t fPort = FreeUdpPort();
  std::unique_ptr<TavoRun> fTavo;
};

// One table for both builds: the Linux tavo, and the Windows build's
// tavo.exe under Wine (skipped without it). Each row takes an SNMPv1 trap
// from snmptrap, an SNMPv3 AuthPriv one and tavot's, counts them, reports
// each by trap and by mail, and writes the same lines. The mail goes in
// clear or over STARTTLS with the test authority trusted through
// SSL_CERT_FILE or, on Windows, through the ROOT store.
enum class TTrust { eNone, eCertFile, eRootStore };
struct ReportRow {
  const char* Name;
  bool Wine;
  TTrust Trust;
};

void PrintTo(const ReportRow& aRow, std::ostream* aOut) {
  *aOut << aRow.Name;
}

class ReportAcrossBuildsTest : public ReportE2ETest,
                               public ::testing::WithParamInterface<ReportRow> {
 protected:
  // The lines every build writes alike, the request ids of SNMPv3 (random)
  // left out.
  std::vector<std::string> SharedLines() const {
    static const std::regex kShared(
        "^(Trace: SNMP trap packet received|Trace: Report \"App-100\"|Trace: Mail to|Info:  "
        "Service closed|Error: |Warning: ).*");
    static const std::regex kRequestId("RequestId=\\d+");
    std::vector<std::string> out;
    for (const auto& line : fTavo->Lines()) {
      if (std::regex_match(line, kShared))
        out.push_back(std::regex_replace(line, kRequestId, "RequestId=*"));
    }
    return out;
  }
};

TEST_P(ReportAcrossBuildsTest, TrapsAreCountedAndReportedByTrapAndByMail) {
  const ReportRow& row = GetParam();
  std::optional<wine::PrefixCleared> prefix;
  if (row.Wine) {
    TAVO_SKIP_WITHOUT_WINE();
    prefix.emplace(fDir);
    ASSERT_TRUE(prefix->Boot());
  }
  AiosmtpdServer::TOptions smtpOptions;
  std::vector<std::string> env;
  std::string mailTls;
  if (row.Trust != TTrust::eNone) {
    MakeTestCertificates(fDir.Path());
    smtpOptions = {
        .Tls = "starttls", .CertFile = fDir.File("server.pem"), .KeyFile = fDir.File("server.key")};
    mailTls = ";Tls=starttls";
  }
  if (row.Trust == TTrust::eCertFile)
    env.push_back("SSL_CERT_FILE=" +
                  (row.Wine ? wine::WinePath(fDir.File("ca.pem")) : fDir.File("ca.pem")));
  if (row.Trust == TTrust::eRootStore) {
    // A bundle named by the test's environment would stand in for the store.
    env.insert(env.end(), {"SSL_CERT_FILE=", "SSL_CERT_DIR="});
    const std::string helper = wine::WindowsBuildFile("tests/shell/tavo_add_root_certificate.exe");
    TAVO_SKIP_WITHOUT_FILE(helper, "run scripts/build-windows first");
    const RunResult added = RunProgram({wine::kWine, helper, wine::WinePath(fDir.File("ca.pem"))},
                                       fDir.File("root"), 60s, wine::Environment());
    ASSERT_EQ(added.Status, 0) << added.Err;
  }
  AiosmtpdServer smtp(fDir.Path(), smtpOptions);
  UdpListener manager;
  fDir.Write("trap.txt", "100\r\nSubject %CLIENT_NAME\r\n%TEXT\r\n");
  fDir.Write("mail.txt", "Report %CLIENT_NAME-%ID\r\nText: %TEXT\r\nCounter: %COUNTER\r\n");
  const std::string ini = "[General]\nCheckInterval=1\n" + Receiver() +
                          "[Recipients]\n"
                          "Manager=Type=SnmpTrapV1;Host=127.0.0.1;Port=" +
                          std::to_string(manager.Port()) +
                          "\n"
                          "Mail1=Type=SmtpMail;Host=127.0.0.1;Port=" +
                          std::to_string(smtp.Port()) +
                          ";FromAddress=tavo@example.org;To=ops@example.org" + mailTls +
                          "\n"
                          "[Client App]\nName=App\nOidMsgId=" +
                          std::string(kBase) + ".1\nOidMsgText=" + std::string(kBase) +
                          ".2\n"
                          "100=Seen;0;0;Send;Manager;trap.txt\n"
                          "100=Seen;0;0;Send;Mail1;mail.txt\n";
  // Wine takes a few seconds to start a program.
  const auto startup = row.Wine ? 60s : 10s;
  fTavo = std::make_unique<TavoRun>(fDir, ini);
  if (row.Wine)
    wine::UseWine(*fTavo);
  fTavo->Env.insert(fTavo->Env.end(), env.begin(), env.end());
  fTavo->Start();
  ASSERT_TRUE(fTavo->WaitForLine("Trace: Initialization done", startup))
      << fTavo->Dump() << fTavo->Process().Stderr();
  ASSERT_TRUE(WaitForUdpPortTaken(fPort, startup));

  // Each trap in turn: its report by trap, then by mail.
  auto reported = [&](std::size_t aMails, const std::string& aText) {
    TSNMPRec trap;
    EXPECT_TRUE(trap.DecodeBuf(manager.Receive(15s))) << fTavo->Dump();
    EXPECT_EQ(trap.FVersion, 0);
    EXPECT_EQ(trap.FOldTrapEnterprise, "1.3.6.4.1.52814.8423.0");
    EXPECT_EQ(trap.MIBCount(), 3);
    EXPECT_EQ(trap.MIBGet("1.3.6.4.1.52814.8423.1"), "100");
    EXPECT_EQ(trap.MIBGet("1.3.6.4.1.52814.8423.2"), "Subject App");
    EXPECT_EQ(Cp1252ToUtf8(trap.MIBGet("1.3.6.4.1.52814.8423.3")), aText + "\r\n");
    // Under Wine on a loaded machine a TLS session has been seen to take
    // over 15 s; the mail's own reply time-out is 60 s.
    EXPECT_TRUE(WaitFor([&] { return smtp.Mails().size() == aMails; }, row.Wine ? 60s : 15s))
        << fTavo->Dump();
    if (smtp.Mails().size() != aMails)
      return;
    const SinkMail mail = smtp.Mails()[aMails - 1];
    EXPECT_EQ(mail.Get("subject"), "Report App-100");
    EXPECT_THAT(mail.All("body"), Contains("Text: " + aText));
    EXPECT_THAT(mail.All("body"), Contains("Counter: 1"));
    EXPECT_EQ(mail.Get("tls"), row.Trust == TTrust::eNone ? "0" : "1");
    // Its line before the next trap's, for the comparison below.
    EXPECT_TRUE(WaitFor(
        [&] { return fTavo->Count("Trace: Mail to \"Mail1\" sent") == static_cast<int>(aMails); },
        10s));
  };
  ASSERT_EQ(
      V1({std::string(kBase) + ".1", "i", "100", std::string(kBase) + ".2", "s", kUtf8Text}).Status,
      0);
  reported(1, kUtf8Text);
  std::vector<std::string> v3 = SnmpV3Args({.EngineId = "0x8000000001020304",
                                            .Name = kUser,
                                            .Level = "authPriv",
                                            .Auth = "MD5",
                                            .AuthPassword = kAuthPwd,
                                            .Priv = "DES",
                                            .PrivPassword = kPrivPwd});
  v3.insert(v3.end(), {Target(), "", std::string(kBase) + ".0", std::string(kBase) + ".1", "i",
                       "100", std::string(kBase) + ".2", "s", "v3 text"});
  ASSERT_EQ(RunSnmpTrap(fDir.Path(), v3).Status, 0);
  reported(2, "v3 text");
  // tavot sends its text in Windows-1252; the report still carries it intact.
  const RunResult tavot = RunProgram(
      {TAVOT_EXE, "--v1", "--host", "127.0.0.1", "--port", std::to_string(fPort)}, fDir.File("t"));
  ASSERT_EQ(tavot.Status, 0) << tavot.Err;
  reported(3, kTavotText);

  // Wine hands SIGINT to tavo.exe's Ctrl+C handler.
  ASSERT_TRUE(fTavo->Stop(row.Wine ? SIGINT : SIGTERM, row.Wine ? 20s : 6s)) << fTavo->Dump();
  EXPECT_EQ(fTavo->Process().ExitStatus(), 0);
  const std::string packet = "Trace: SNMP trap packet received from 127.0.0.1: ";
  const std::string report = "Trace: Report \"App-100\": Counter = 1 > 0";
  const std::string mail = "Trace: Mail to \"Mail1\" sent";
  // The account reports once for each of its two recipients.
  std::vector<std::string> expected = {
      "Warning: SNMP trap receiver uses the built-in SNMPv3 password(s); set UserPassword and "
      "PrivacyPassword in [SnmpTrapReceiver]"};
  for (const int mibs : {2, 4, 2}) {
    expected.insert(expected.end(),
                    {packet + "Version=" + (mibs == 4 ? "3" : "0") +
                         ", RequestId=*, ErrorStatus=0, ErrorIndex=0, MIBs=" + std::to_string(mibs),
                     report, report, mail});
  }
  expected.push_back("Info:  Service closed");
  EXPECT_EQ(SharedLines(), expected) << fTavo->Dump();
}

INSTANTIATE_TEST_SUITE_P(
    Builds, ReportAcrossBuildsTest,
    ::testing::Values(ReportRow{"Linux", false, TTrust::eNone},
                      ReportRow{"LinuxStartTlsCertFile", false, TTrust::eCertFile},
                      ReportRow{"Wine", true, TTrust::eNone},
                      ReportRow{"WineStartTlsRootStore", true, TTrust::eRootStore},
                      ReportRow{"WineStartTlsCertFile", true, TTrust::eCertFile}),
    [](const auto& aInfo) { return std::string(aInfo.param.Name); });

// A mail server that takes the connection and never answers: the mail's
// worker waits for a greeting that does not come, and the end is not held up.
TEST_F(ReportE2ETest, AStalledMailServerDoesNotHoldUpTheEnd) {
  std::atomic<bool> connected{false};
  ScriptedSmtpServer server(
      [&connected](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (!aLine.empty())
          return std::nullopt;
        connected = true;
        return ScriptedSmtpServer::Stall();
      });
  fDir.Write("mail.txt", "Report\r\n%TEXT\r\n");
  StartTavo(
      "[General]\nCheckInterval=1\n" + Receiver() +
      "[Recipients]\nMail1=Type=SmtpMail;Host=127.0.0.1;Port=" + std::to_string(server.Port()) +
      ";FromAddress=tavo@example.org;To=ops@example.org\n"
      "[Client App]\nName=App\nOidMsgId=" +
      std::string(kBase) + ".1\n100=Seen;0;0;Send;Mail1;mail.txt\n");
  ASSERT_EQ(V1({std::string(kBase) + ".1", "i", "100"}).Status, 0);
  ASSERT_TRUE(WaitFor([&] { return connected.load(); }, 10s)) << fTavo->Dump();

  EXPECT_TRUE(fTavo->Stop()) << fTavo->Dump();
  EXPECT_EQ(fTavo->Lines().back(), "Info:  Service closed");
  EXPECT_EQ(fTavo->Count("Mail to \"Mail1\" sent"), 0);
}

TEST_F(ReportE2ETest, AMissingHeartbeatRestartsTheClientScript) {
  KillOnExit cleanup;
  const std::string script = fDir.Write("client.sh",
                                        "#!/bin/sh\n"
                                        "echo $$ > \"$0.pid.tmp\" && mv \"$0.pid.tmp\" \"$0.pid\"\n"
                                        "i=0\n"
                                        "while [ $i -lt 300 ]; do sleep 0.2; i=$((i+1)); done\n");
  ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
  ChildProcess first({script}, fDir.File("first"));
  const int firstPid = WaitForPidFile(script + ".pid");
  ASSERT_EQ(firstPid, first.Pid());
  ::unlink((script + ".pid").c_str());

  // Three heartbeats wanted in a window of three cycles; one arrives.
  StartTavo("[General]\nCheckInterval=1\n" + Receiver() +
            "[Client App]\nName=App\nExecutable=" + script + "\nOidMsgId=" + kBase +
            ".1\n"
            "100=Heartbeat;3;2;Restart\n");
  ASSERT_EQ(V1({std::string(kBase) + ".1", "i", "100"}).Status, 0);
  ASSERT_TRUE(fTavo->WaitForLine("Info:  Start client \"App\"", 15s)) << fTavo->Dump();
  const int secondPid = WaitForPidFile(script + ".pid");
  ASSERT_GT(secondPid, 0);
  cleanup.Add(secondPid);
  EXPECT_NE(secondPid, firstPid);
  EXPECT_FALSE(ProcessGone(secondPid));
  EXPECT_TRUE(first.WaitExit(5s));  // ended by tavo
  // The next window would restart it again: the first restart is what counts.
  EXPECT_GE(fTavo->Count("Info:  Execute \"Restart\" because of message id 100 from \"App\" "
                         "(Counter = 1 < 3)"),
            1)
      << fTavo->Dump();
  EXPECT_GE(fTavo->Count("Info:  Terminate client \"App\" to restart..."), 1);
  ASSERT_TRUE(fTavo->Stop());
}

// net-snmp's SNMPv3 traps: the authentic ones are counted, a wrong password
// or a flipped byte is refused, and a replay of an authentic datagram counts.
struct V3Case {
  const char* Auth;
  const char* Priv;
  const char* Keys;    // [SnmpTrapReceiver] keys for them
  bool TavotAdmitted;  // tavot sends MD5/DES
};

void PrintTo(const V3Case& aCase, std::ostream* aOut) {
  *aOut << aCase.Auth << "/" << aCase.Priv;
}

class SnmpV3E2ETest : public ReportE2ETest, public ::testing::WithParamInterface<V3Case> {
 protected:
  std::vector<std::string> V3Args(const std::string& aLevel, const std::string& aAuthPwd,
                                  const std::string& aTarget) const {
    std::vector<std::string> args = SnmpV3Args({.EngineId = "0x8000000001020304",
                                                .Name = kUser,
                                                .Level = aLevel,
                                                .Auth = GetParam().Auth,
                                                .AuthPassword = aAuthPwd,
                                                .Priv = GetParam().Priv,
                                                .PrivPassword = kPrivPwd});
    args.insert(args.end(), {aTarget, "", std::string(kBase) + ".0", std::string(kBase) + ".1", "i",
                             "100", std::string(kBase) + ".2", "s", kUtf8Text});
    return args;
  }
};

TEST_P(SnmpV3E2ETest, AuthenticTrapsAreCountedOthersRefused) {
  StartTavo("[General]\nCheckInterval=1\n" + Receiver(GetParam().Keys) +
            "[Client App]\nName=App\nOidMsgId=" + std::string(kBase) + ".1\nOidMsgText=" + kBase +
            ".2\n100=Seen;0;0;Send\n");
  // Capture one authentic authPriv datagram to flip a byte in and replay.
  UdpListener capture;
  ASSERT_EQ(RunSnmpTrap(fDir.Path(), V3Args("authPriv", kAuthPwd, capture.Address())).Status, 0);
  const std::string captured = capture.Receive();
  ASSERT_FALSE(captured.empty());
  std::string flipped = captured;
  flipped[flipped.size() - 5] ^= 0x20;

  TUdpSocket sender;
  const TSocketAddress to = ResolveAddress("127.0.0.1", fPort, TSockType::eDatagram);
  sender.SendTo(flipped, to);
  ASSERT_EQ(RunSnmpTrap(fDir.Path(), V3Args("authNoPriv", "wrong-password", Target())).Status, 0);
  ASSERT_EQ(RunSnmpTrap(fDir.Path(), V3Args("authPriv", "wrong-password", Target())).Status, 0);
  ASSERT_EQ(RunSnmpTrap(fDir.Path(), V3Args("authNoPriv", kAuthPwd, Target())).Status, 0);
  ASSERT_EQ(RunSnmpTrap(fDir.Path(), V3Args("authPriv", kAuthPwd, Target())).Status, 0);
  sender.SendTo(captured, to);
  // tavot's AuthPriv trap, with its default privacy password.
  const RunResult tavot =
      RunProgram({TAVOT_EXE, "--v3", "--level", "AuthPriv", "--port", std::to_string(fPort)},
                 fDir.File("tavot"));
  ASSERT_EQ(tavot.Status, 0) << tavot.Err;
  const int counted = GetParam().TavotAdmitted ? 4 : 3;
  const int refused = GetParam().TavotAdmitted ? 3 : 4;
  ASSERT_TRUE(WaitFor([&] { return ReportedCount() >= counted; }, 10s)) << fTavo->Dump();
  ASSERT_TRUE(WaitFor([&] { return fTavo->Count("Error: Authentication failed!") >= refused; }, 5s))
      << fTavo->Dump();
  std::this_thread::sleep_for(1500ms);  // one more cycle: nothing else is counted
  ASSERT_TRUE(fTavo->Stop());
  EXPECT_EQ(ReportedCount(), counted) << fTavo->Dump();
  EXPECT_EQ(fTavo->Count("Error: Authentication failed!"), refused);
  // Besides those, only the account's report to no recipient.
  EXPECT_EQ(fTavo->Count("Error: ") - fTavo->Count("Error: Recipient \"\" not found!"), refused)
      << fTavo->Dump();
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, SnmpV3E2ETest,
    ::testing::Values(
        V3Case{"MD5", "DES", "", true},
        V3Case{"SHA", "AES", "AuthProtocol=SHA\nPrivProtocol=AES\n", false},
        V3Case{"SHA-256", "AES-256", "AuthProtocol=sha256\nPrivProtocol=AES-256\n", false},
        V3Case{"SHA-512", "AES-192-C", "AuthProtocol=SHA-512\nPrivProtocol=aes192c\n", false}),
    [](const auto& aInfo) {
      std::string name = std::string(aInfo.param.Auth) + aInfo.param.Priv;
      name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
      return name;
    });

// Users of [SnmpV3Users] beside the receiver's own: each counted with its
// own protocols; an unknown user and a user's AuthPriv without privacy
// fields refused.
TEST_F(ReportE2ETest, FurtherSnmpV3UsersAreCountedWithTheirOwnProtocols) {
  StartTavo("[General]\nCheckInterval=1\n" + Receiver() +
            "[SnmpV3Users]\n"
            "ops=SHA-512;ops-auth-pass;AES-256-C;ops-priv-pass\n"
            "watch=SHA-224;watch-auth-pass\n"
            "[Client App]\nName=App\nOidMsgId=" +
            std::string(kBase) + ".1\n100=Seen;0;0;Send\n");
  auto send = [&](const char* aUser, const char* aLevel, const char* aAuth, const char* aAuthPwd,
                  const char* aPriv, const char* aPrivPwd) {
    std::vector<std::string> args = SnmpV3Args({.EngineId = "0x8000000001020305",
                                                .Name = aUser,
                                                .Level = aLevel,
                                                .Auth = aAuth,
                                                .AuthPassword = aAuthPwd,
                                                .Priv = aPriv,
                                                .PrivPassword = aPrivPwd});
    args.insert(args.end(),
                {Target(), "", std::string(kBase) + ".0", std::string(kBase) + ".1", "i", "100"});
    return RunSnmpTrap(fDir.Path(), args).Status;
  };
  ASSERT_EQ(send("ops", "authPriv", "SHA-512", "ops-auth-pass", "AES-256-C", "ops-priv-pass"), 0);
  ASSERT_EQ(send("watch", "authNoPriv", "SHA-224", "watch-auth-pass", "DES", "x-priv-pass"), 0);
  ASSERT_EQ(send("watch", "authPriv", "SHA-224", "watch-auth-pass", "DES", "x-priv-pass"), 0);
  ASSERT_EQ(send("stranger", "authNoPriv", "MD5", "ops-auth-pass", "DES", "x-priv-pass"), 0);
  ASSERT_TRUE(WaitFor([&] { return ReportedCount() >= 2; }, 10s)) << fTavo->Dump();
  ASSERT_TRUE(WaitFor(
      [&] { return fTavo->Count("Error: Unknown authorisation username \"watch\"!") == 1; }, 5s))
      << fTavo->Dump();
  ASSERT_TRUE(
      WaitFor([&] { return fTavo->Count("Error: Unknown authorisation\"stranger\"!") == 1; }, 5s))
      << fTavo->Dump();
  ASSERT_TRUE(fTavo->Stop());
  EXPECT_EQ(ReportedCount(), 2) << fTavo->Dump();
}

TEST_F(ReportE2ETest, DispatchMessagesWithAClient) {
  StartTavo(Receiver() + "[Client App]\nName=App\nOidMsgId=" + std::string(kBase) +
            ".1\n100=Seen;0;0;Send\n");
  ASSERT_EQ(V1({std::string(kBase) + ".1", "s", "abc"}).Status, 0);
  ASSERT_TRUE(
      fTavo->WaitForLine("Error: No message id in MIB: " + std::string(kBase) + ".1 = abc!"))
      << fTavo->Dump();
  ASSERT_TRUE(fTavo->Stop());
}

TEST_F(ReportE2ETest, AMalformedConfigurationReportsEachBadLineOnceAndLoadsTheRest) {
  const std::string ini = Receiver() +
                          "[Recipients]\n"
                          "Good=Type=SnmpTrapV1;Host=127.0.0.1;Port=9162\n"
                          "Odd=Type=Carrier-Pigeon;Host=loft\n"
                          "[Client App]\nName=App\nOidMsgId=" +
                          std::string(kBase) +
                          ".1\n"
                          "100=Seen;0;0;Send\n"
                          "101=Broken;0;0;Shout\n"
                          "102=Late;x;0;Send\n"
                          "[Client Nameless]\nOidMsgId=1.2.3\n1=One;0;0;Send\n"
                          "[Client Unknown]\nName=NoOid\n1=One;0;0;Send\n";
  StartTavo(ini);
  ASSERT_TRUE(fTavo->Stop());
  const std::vector<std::string> errors = {
      "Error: Unknown recipient type for \"Odd\"",
      "Error: Invalid message config: Action \"Shout\" not supported!",
      "Error: Invalid message config: 'x' is not a valid integer value",
      "Error: Missing name in \"Client Nameless\"",
      "Error: Missing OID message ID (OidMsgId ) in \"Client Unknown\"",
  };
  for (const auto& e : errors)
    EXPECT_EQ(fTavo->Count(e), 1) << e << "\n" << fTavo->Dump();
  EXPECT_EQ(fTavo->Count("Error: "), static_cast<int>(errors.size())) << fTavo->Dump();
  EXPECT_EQ(fTavo->Count("Info:  Recipient \"Good\": Host=127.0.0.1:9162; Community=public"), 1);
  EXPECT_EQ(fTavo->Count("Info:  Loaded message \"App-100\""), 1) << fTavo->Dump();
  EXPECT_EQ(fTavo->Count("Info:  SNMP trap receiver listening on"), 1);

  // --check reports the same lines on standard output and fails.
  fDir.Write("bad.ini", ini);
  const RunResult check =
      RunProgram({TAVO_EXE, "--check", "--config", fDir.File("bad.ini")}, fDir.File("check"));
  EXPECT_EQ(check.Status, 1);
  for (const auto& e : errors)
    EXPECT_THAT(check.Out, HasSubstr(e));
  EXPECT_THAT(check.Out, HasSubstr("Info:  SNMP trap receiver would listen on 127.0.0.1:"));
}

}  // namespace
}  // namespace tavo::test
