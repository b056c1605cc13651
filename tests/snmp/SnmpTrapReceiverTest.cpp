// The trap receiver on 127.0.0.1: admission by community and user, the
// authentication code over the received bytes, the accessors, errors,
// stopping, a busy port and the bounded queue.

#include "snmp/SnmpTrapReceiver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "HostileDatagrams.h"
#include "SampleTraps.h"
#include "TestMainLoop.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "platform/Socket.h"
#include "snmp/BerEncoding.h"
#include "snmp/SnmpDefaults.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;

constexpr const char* kUser = kDefaultTrapUserName;
constexpr const char* kAuthPwd = kDefaultTrapUserPassword;
constexpr const char* kPrivPwd = kDefaultTrapPrivacyPassword;
constexpr const char* kTrace =
    "Trace: SNMP trap packet received from 127.0.0.1: Version=%d, RequestId=%d, ErrorStatus=0, "
    "ErrorIndex=0, MIBs=%d";

// A sample trap (SNMPv1 by default; SNMPv3 at AuthNoPriv when Version is 3)
// with the receiver's credentials, request-id 7, an engine ID and four
// bindings: sysUpTime, the message id 100, a text and a second id 101.
struct TrapFields : test::SampleTrap {
  bool Reportable = false;
  std::int32_t PduType = 0;             // 0: the version's trap PDU
  std::optional<std::string> EngineId;  // none: a sender's own engine ID
  std::int32_t Boots = 0;
  std::int32_t Time = 0;
  std::int32_t Id = 7;  // request-id, and the SNMPv3 msgID
};

std::string Encode(const TrapFields& aTrap) {
  TSNMPRec r;
  test::SetSampleSender(r, aTrap);
  if (aTrap.PduType)
    r.FPDUType = aTrap.PduType;
  r.FID = aTrap.Id;
  r.FFlagReportable = aTrap.Reportable;
  r.FAuthEngineID = aTrap.EngineId.value_or(std::string("\x80\x00\x1f\x88\x04", 5) + "tavo");
  r.FAuthEngineBoots = aTrap.Boots;
  r.FAuthEngineTime = aTrap.Time;
  r.MIBAdd("1.3.6.1.2.1.1.3.0", "200", kBerTimeTicks);
  r.MIBAdd("1.3.6.4.1.52814.8424.1", "100", kBerInteger);
  r.MibAdd2("1.3.6.4.1.52814.8424.2", "Text \xC3\xA4\xE2\x82\xAC", kBerOctetString);
  r.MIBAdd("1.3.6.4.1.52814.8424.1", "101", kBerInteger);
  return r.EncodeBuf();
}

// One receiver on an ephemeral port, the test's main loop and a capture.
class SnmpTrapReceiverTest : public ::testing::Test {
 protected:
  void Start(const std::string& aCommunity = "public", const std::string& aUserPwd = kAuthPwd,
             TV3Auth aAuth = TV3Auth::AuthMD5, TV3Priv aPriv = TV3Priv::PrivDES) {
    fReceiver =
        std::make_unique<TSnmpTrapReceiver>("127.0.0.1", 0, aCommunity, kUser, aUserPwd, kPrivPwd);
    fReceiver->AuthMode = aAuth;
    fReceiver->PrivMode = aPriv;
    fReceiver->TimeWindow = fTimeWindow;
    fReceiver->OnData = [this](TSnmpTrapReceiver* aSender) {
      ASSERT_EQ(aSender, fReceiver.get());
      std::vector<std::string> records;
      for (int i = 0; i < aSender->MibCount(); ++i) {
        records.push_back(aSender->MibRecord(static_cast<std::uint16_t>(i)));
      }
      fData.push_back(records);
      if (fThrowInData)
        throw Exception("handler failed");
    };
    fReceiver->OnDone = [this](const std::string& aText) { fDone.push_back(aText); };
    if (fConfigure)
      fConfigure(*fReceiver);
    fReceiver->Start();
    ASSERT_TRUE(fLoop.RunUntil([&] { return fReceiver->BoundPort() != 0; }, 5s));
    fTo = ResolveAddress("127.0.0.1", fReceiver->BoundPort(), TSockType::eDatagram);
  }
  void TearDown() override {
    if (fReceiver) {
      // Handlers of a test may hold its locals, which are gone by now.
      fReceiver->OnData = nullptr;
      fReceiver->OnDone = nullptr;
      fReceiver->Terminate();
      fLoop.RunUntil([&] { return fReceiver->Finished(); }, 5s);
      fReceiver.reset();
    }
  }
  void Send(const std::string& aBytes) { fSender.SendTo(aBytes, fTo); }
  // The datagram the receiver sent back, or nothing within aWait.
  std::optional<std::string> Answer(std::chrono::milliseconds aWait = 2s) {
    if (!fSender.WaitReadable(static_cast<int>(aWait.count())))
      return std::nullopt;
    std::string buffer(65536, '\0');
    TSocketAddress from;
    buffer.resize(fSender.ReceiveFrom(buffer.data(), buffer.size(), from));
    EXPECT_EQ(from.Port(), fReceiver->BoundPort());  // from the listening socket
    return buffer;
  }
  // Sends, then runs the loop until aLines message lines have arrived.
  std::vector<std::string> SendAndCollect(const std::string& aBytes, std::size_t aLines) {
    fCapture->Clear();
    fData.clear();
    Send(aBytes);
    fLoop.RunUntil([&] { return fCapture->Messages().size() >= aLines; }, 5s);
    fLoop.RunUntil([] { return false; }, 50ms);  // nothing more may follow
    return fCapture->Lines();
  }

  test::TestMainLoop fLoop;
  std::unique_ptr<test::MessageCapture> fCapture = std::make_unique<test::MessageCapture>(eTrace);
  // A clock for the refusal limit; a member, so that it outlives the
  // receiver, which reads it until TearDown has stopped it.
  std::atomic<std::int64_t> fClock{0};
  std::unique_ptr<TSnmpTrapReceiver> fReceiver;
  TUdpSocket fSender;
  TSocketAddress fTo;
  std::vector<std::vector<std::string>> fData;
  std::vector<std::string> fDone;
  bool fThrowInData = false;
  std::function<void(TSnmpTrapReceiver&)> fConfigure;
  std::int32_t fTimeWindow = 0;
};

std::string TraceLine(int aVersion, int aRequestId, int aMibs) {
  return Format(kTrace, {aVersion, aRequestId, aMibs});
}

struct AdmissionCase {
  const char* Name;
  TrapFields Trap;
  bool Admitted;
  std::vector<std::string> After;  // lines after the Trace line
};

TEST_F(SnmpTrapReceiverTest, AdmissionByVersionCommunityUserAndCode) {
  Start();
  auto v1 = [](std::string aCommunity) {
    TrapFields s;
    s.Community = std::move(aCommunity);
    return s;
  };
  auto v3 = [](TV3Flags aFlags, std::string aUser = kUser, std::string aPwd = kAuthPwd) {
    TrapFields s;
    s.Version = 3;
    s.Flags = aFlags;
    s.User = std::move(aUser);
    s.AuthPassword = std::move(aPwd);
    return s;
  };
  TrapFields v2c;
  v2c.Version = 1;
  TrapFields inform = v3(TV3Flags::AuthNoPriv);
  inform.PduType = 0xA6;
  inform.Reportable = true;
  const std::vector<AdmissionCase> cases = {
      {"v1 community", v1("public"), true, {}},
      {"v1 other community",
       v1("Public"),
       false,
       {"Hint:  SNMPv1 trap packet width invalid community \"Public\" ignored!"}},
      {"v2c", v2c, false, {"Warning: SNMP trap packet version 1 not supported"}},
      {"v3 noAuthNoPriv", v3(TV3Flags::NoAuthNoPriv), false, {}},
      {"v3 authNoPriv", v3(TV3Flags::AuthNoPriv), true, {}},
      {"v3 authNoPriv wrong password",
       v3(TV3Flags::AuthNoPriv, kUser, "wrong-password"),
       false,
       {"Error: Authentication failed!",
        "Trace: SNMPv3 trap refused: EngineID=80001F88047461766F, User=\"TavoSnmpTrap\", "
        "SecurityLevel=AuthNoPriv"}},
      {"v3 authNoPriv other user",
       v3(TV3Flags::AuthNoPriv, "intruder"),
       false,
       {"Error: Unknown authorisation\"intruder\"!",
        "Trace: SNMPv3 trap refused: EngineID=80001F88047461766F, User=\"intruder\", "
        "SecurityLevel=AuthNoPriv"}},
      {"v3 authPriv", v3(TV3Flags::AuthPriv), true, {}},
      {"v3 authPriv other user",
       v3(TV3Flags::AuthPriv, "intruder"),
       false,
       {"Error: Unknown authorisation username \"intruder\"!",
        "Trace: SNMPv3 trap refused: EngineID=80001F88047461766F, User=\"intruder\", "
        "SecurityLevel=AuthPriv"}},
      {"v3 authPriv wrong password",
       v3(TV3Flags::AuthPriv, kUser, "wrong-password"),
       false,
       {"Error: Authentication failed!",
        "Trace: SNMPv3 trap refused: EngineID=80001F88047461766F, User=\"TavoSnmpTrap\", "
        "SecurityLevel=AuthPriv"}},
      {"v3 inform with reportable flag", inform, true, {"Warning: SNMP trap reply not supported!"}},
  };
  for (const AdmissionCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto lines = SendAndCollect(Encode(c.Trap), 1 + c.After.size());
    ASSERT_FALSE(lines.empty());
    // A refused AuthPriv message is never decrypted: no bindings to count.
    const bool encrypted = c.Trap.Version == 3 && c.Trap.Flags == TV3Flags::AuthPriv;
    EXPECT_EQ(lines[0], TraceLine(c.Trap.Version, c.Trap.Version == 0 ? 1 : 7,
                                  encrypted && !c.Admitted ? 0 : 4));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), c.After);
    EXPECT_EQ(fData.size(), c.Admitted ? 1u : 0u);
  }
}

// Boots and times chosen, no waiting: with a window, a trap whose time went
// back beyond it is refused (an unauthentic one never moves the clock);
// without one, every authentic trap is admitted as before.
TEST_F(SnmpTrapReceiverTest, TheTimeWindowRefusesTrapsFromTheEnginesPast) {
  auto v3 = [](std::int32_t aBoots, std::int32_t aTime, const char* aPwd = kAuthPwd) {
    TrapFields s;
    s.Version = 3;
    s.Flags = TV3Flags::AuthNoPriv;
    s.AuthPassword = aPwd;
    s.Boots = aBoots;
    s.Time = aTime;
    return s;
  };
  const std::string refused =
      "Warning: SNMPv3 trap refused: outside the time window (EngineID=80001F88047461766F)";
  for (const std::int32_t window : {0, 150}) {
    SCOPED_TRACE(window);
    TearDown();
    fTimeWindow = window;
    Start();
    const struct {
      TrapFields Trap;
      bool Admitted;
    } steps[] = {
        {v3(3, 5000), true},
        {v3(3, 9000, "wrong-password"), false},  // refused before it could move the clock
        {v3(3, 4900), true},
        {v3(3, 4800), window == 0},
        {v3(2, 9000), window == 0},
        {v3(4, 1), true},
    };
    for (const auto& step : steps) {
      const bool authentic = step.Trap.AuthPassword == kAuthPwd;
      const std::size_t after = step.Admitted ? 0 : authentic ? 1 : 2;
      const auto lines = SendAndCollect(Encode(step.Trap), 1 + after);
      EXPECT_EQ(fData.size(), step.Admitted ? 1u : 0u) << step.Trap.Boots << "/" << step.Trap.Time;
      if (authentic && !step.Admitted) {
        EXPECT_EQ(lines, (std::vector<std::string>{TraceLine(3, 7, 4), refused}));
      }
    }
  }
}

TEST_F(SnmpTrapReceiverTest, AFlippedByteFailsTheCodeAndOtherProtocolsNeedTheirSettings) {
  Start("public", kAuthPwd, TV3Auth::AuthSHA1, TV3Priv::PrivAES);
  TrapFields s;
  s.Version = 3;
  s.Flags = TV3Flags::AuthPriv;
  s.Auth = TV3Auth::AuthSHA1;
  s.Priv = TV3Priv::PrivAES;
  std::string bytes = Encode(s);
  SendAndCollect(bytes, 1);
  ASSERT_EQ(fData.size(), 1u);
  EXPECT_EQ(fData[0][2], "1.3.6.4.1.52814.8424.2 = Text \xC3\xA4\xE2\x82\xAC");

  bytes[bytes.size() - 3] ^= 0x01;  // inside the encrypted scoped PDU
  const auto lines = SendAndCollect(bytes, 2);
  EXPECT_THAT(lines, Contains("Error: Authentication failed!"));
  EXPECT_TRUE(fData.empty());

  s.Auth = TV3Auth::AuthMD5;  // the receiver expects SHA
  EXPECT_THAT(SendAndCollect(Encode(s), 2), Contains("Error: Authentication failed!"));
}

TEST_F(SnmpTrapReceiverTest, V1IsOffWithoutACommunity) {
  Start("");
  EXPECT_THAT(SendAndCollect(Encode(TrapFields{}), 2), Contains("Hint:  SNMPv1 disabled!"));
  EXPECT_TRUE(fData.empty());
}

TEST_F(SnmpTrapReceiverTest, AccessorsReadTheMessageInsideOnData) {
  Start();
  std::vector<std::string> seen;
  fReceiver->OnData = [&](TSnmpTrapReceiver* r) {
    seen = {std::to_string(r->MibCount()),
            r->MibOid(1),
            r->MibValue("1.3.6.4.1.52814.8424.1"),
            r->MibValue("1.3.6.4.1.52814.8424.2"),
            r->MibValue(".1.3.6.4.1.52814.8424.1"),
            r->MibRecord(0),
            r->MibOid(4),
            r->MibRecord(4)};
  };
  EXPECT_EQ(fReceiver->MibCount(), 0);  // running, no message yet
  SendAndCollect(Encode(TrapFields{}), 1);
  EXPECT_THAT(seen, ::testing::ElementsAre("4", "1.3.6.4.1.52814.8424.1", "100",
                                           "Text \xC3\xA4\xE2\x82\xAC", "",
                                           "1.3.6.1.2.1.1.3.0 = 200", "", ""));
}

TEST_F(SnmpTrapReceiverTest, DebugLevelListsTheBindings) {
  fCapture.reset();
  fCapture = std::make_unique<test::MessageCapture>(eDebug);
  Start();
  const auto lines = SendAndCollect(Encode(TrapFields{}), 5);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], "Debug: 1.3.6.1.2.1.1.3.0 = 200");
  EXPECT_EQ(lines[4], "Debug: 1.3.6.4.1.52814.8424.1 = 101");
}

TEST_F(SnmpTrapReceiverTest, ErrorsAreReportedAndReceptionGoesOn) {
  Start("public", "");  // no key from an empty password
  TrapFields v3;
  v3.Version = 3;
  const auto lines = SendAndCollect(Encode(v3), 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(lines[1], HasSubstr("Error: SNMP trap packet error: "));

  fThrowInData = true;
  EXPECT_THAT(SendAndCollect(Encode(TrapFields{}), 2),
              Contains("Error: SNMP trap packet error: handler failed"));
  fThrowInData = false;
  // Not SNMP at all: dropped without a word; the next trap is handled. An
  // SNMPv1 trap carries no request-id: the line shows the last one seen (7).
  Send(std::string("\x02\x01\x00", 3));
  EXPECT_EQ(SendAndCollect(Encode(TrapFields{}), 1), std::vector<std::string>{TraceLine(0, 7, 4)});
  EXPECT_EQ(fData.size(), 1u);
}

TEST_F(SnmpTrapReceiverTest, StopEndsTheThreadAndOnDoneGetsAnEmptyText) {
  Start();
  EXPECT_EQ(fReceiver->MibCount(), 0);
  const auto begin = std::chrono::steady_clock::now();
  fReceiver->Terminate();
  ASSERT_TRUE(fLoop.RunUntil([&] { return fReceiver->Finished(); }, 6s));
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
  EXPECT_EQ(fDone, std::vector<std::string>{""});
  EXPECT_EQ(fReceiver->MibCount(), -1);
  EXPECT_EQ(fReceiver->MibOid(0), "");
}

TEST_F(SnmpTrapReceiverTest, AnEndpointFailureEndsTheThreadWithItsText) {
  TSnmpTrapReceiver receiver("127.0.0.1", 0, "public", kUser, kAuthPwd, kPrivPwd);
  EXPECT_EQ(receiver.MibCount(), -1);
  std::vector<std::string> done;
  receiver.OnDone = [&](const std::string& aText) { done.push_back(aText); };
  receiver.OnEndpointSetup = [] { throw Exception("no sockets left"); };
  receiver.Start();
  ASSERT_TRUE(fLoop.RunUntil([&] { return receiver.Finished(); }, 5s));
  EXPECT_EQ(done, std::vector<std::string>{"SNMP receiver exception: no sockets left"});
}

TEST_F(SnmpTrapReceiverTest, ATakenPortIsBoundOnceItIsFree) {
  auto blocker = std::make_unique<TUdpSocket>();
  blocker->Bind("0.0.0.0", 0);
  const std::uint16_t port = blocker->LocalPort();
  TSnmpTrapReceiver receiver("127.0.0.1", port, "public", kUser, kAuthPwd, kPrivPwd);
  int data = 0;
  receiver.OnData = [&](TSnmpTrapReceiver*) { ++data; };
  receiver.Start();
  fLoop.RunUntil([] { return false; }, 300ms);
  EXPECT_EQ(receiver.BoundPort(), 0);
  blocker.reset();
  ASSERT_TRUE(fLoop.RunUntil([&] { return receiver.BoundPort() == port; }, 5s));
  fSender.SendTo(Encode(TrapFields{}), ResolveAddress("127.0.0.1", port, TSockType::eDatagram));
  EXPECT_TRUE(fLoop.RunUntil([&] { return data == 1; }, 5s));
  receiver.Terminate();
  fLoop.RunUntil([&] { return receiver.Finished(); }, 5s);
}

TEST_F(SnmpTrapReceiverTest, AFullQueueDropsCountsAndWarns) {
  fReceiver =
      std::make_unique<TSnmpTrapReceiver>("127.0.0.1", 0, "public", kUser, kAuthPwd, kPrivPwd);
  fReceiver->QueueLimit = 5;
  int handled = 0;
  fReceiver->OnData = [&](TSnmpTrapReceiver*) { ++handled; };
  fReceiver->Start();
  ASSERT_TRUE(test::WaitFor([&] { return fReceiver->BoundPort() != 0; }, 5s));
  fTo = ResolveAddress("127.0.0.1", fReceiver->BoundPort(), TSockType::eDatagram);
  // The main loop does not run: one batch (what had queued when the
  // receiver took it: one to five datagrams) waits in the hand-off, five
  // more in the queue, the rest is dropped.
  const std::string trap = Encode(TrapFields{});
  for (int i = 0; i < 50; ++i)
    Send(trap);
  ASSERT_TRUE(test::WaitFor([&] { return fReceiver->DroppedCount() >= 40; }, 5s));
  ASSERT_TRUE(fLoop.RunUntil(
      [&] { return handled + static_cast<int>(fReceiver->DroppedCount()) == 50; }, 5s));
  // The Warning comes at most once a second: wait for the last one.
  std::uint64_t warned = 0;
  auto sumWarned = [&] {
    warned = 0;
    for (const auto& m : fCapture->Messages()) {
      if (m.Level() != eWarning)
        continue;
      unsigned long long n = 0;
      EXPECT_EQ(std::sscanf(m.Text.c_str(),
                            "SNMP trap receiver queue full: %llu datagram(s) dropped", &n),
                1)
          << m.Text;
      warned += n;
    }
    return warned == fReceiver->DroppedCount();
  };
  fLoop.RunUntil(sumWarned, 5s);
  EXPECT_EQ(warned, fReceiver->DroppedCount());
}

// An SNMPv1 trap whose message id binding is aId.
std::string TrapWithId(int aId) {
  TSNMPRec r;
  r.FPDUType = kPduTrapV1;
  r.FOldTrapEnterprise = "1.3.6.4.1.52814.8424.0";
  r.MIBAdd("1.3.6.4.1.52814.8424.1", std::to_string(aId), kBerInteger);
  return r.EncodeBuf();
}

// Messages from engines never seen with a code that cannot be right cost no
// derivation beyond the configured password's, and nothing is decrypted:
// neither the privacy password's key nor the Triple-DES extension is ever
// derived for them.
TEST_F(SnmpTrapReceiverTest, ForgedAuthPrivTrapsCostNoKeyDerivation) {
  std::atomic<std::int64_t>& clock = fClock;
  int admitted = 0;
  for (const TV3Priv priv : {TV3Priv::PrivDES, TV3Priv::Priv3DES, TV3Priv::PrivAES}) {
    SCOPED_TRACE(static_cast<int>(priv));
    TearDown();
    ClearLocalKeyCache();
    fReceiver =
        std::make_unique<TSnmpTrapReceiver>("127.0.0.1", 0, "public", kUser, kAuthPwd, kPrivPwd);
    fReceiver->PrivMode = priv;
    // Every datagram a second after the one before: none is held back by the
    // refusal limit, so each one's lines can be counted.
    fReceiver->SteadyMs = [&clock] { return clock += 1000; };
    fReceiver->OnData = [&admitted](TSnmpTrapReceiver*) { ++admitted; };
    fReceiver->Start();
    ASSERT_TRUE(fLoop.RunUntil([&] { return fReceiver->BoundPort() != 0; }, 5s));
    fTo = ResolveAddress("127.0.0.1", fReceiver->BoundPort(), TSockType::eDatagram);
    const std::vector<std::string> forged = test::ForgedAuthPrivTraps(1000, TV3Auth::AuthMD5, priv);
    fCapture->Clear();
    const std::uint64_t before = PasswordToKeyCount();
    for (const std::string& d : forged) {
      Send(d);
      fLoop.ProcessPending();
    }
    auto refused = [&] {
      int n = 0;
      for (const auto& m : fCapture->Messages())
        n += m.Text == "Authentication failed!";
      return n;
    };
    ASSERT_TRUE(fLoop.RunUntil([&] { return refused() == 1000; }, 20s)) << refused();
    EXPECT_EQ(PasswordToKeyCount() - before, 1u);  // the configured password's Ku, once
    EXPECT_EQ(admitted, 0);
  }
}

TEST_F(SnmpTrapReceiverTest, RefusedDatagramsAreLimitedAndCountedAdmittedOnesNever) {
  std::atomic<std::int64_t>& clock = fClock;
  fReceiver =
      std::make_unique<TSnmpTrapReceiver>("127.0.0.1", 0, "public", kUser, kAuthPwd, kPrivPwd);
  fReceiver->SteadyMs = [&clock] { return clock.load(); };
  int admitted = 0;
  fReceiver->OnData = [&](TSnmpTrapReceiver*) { ++admitted; };
  fReceiver->Start();
  ASSERT_TRUE(fLoop.RunUntil([&] { return fReceiver->BoundPort() != 0; }, 5s));
  fTo = ResolveAddress("127.0.0.1", fReceiver->BoundPort(), TSockType::eDatagram);
  TrapFields intruder;
  intruder.Community = "intruder";
  const std::string refused = Encode(intruder);
  auto count = [&](const std::string& aPrefix) {
    int n = 0;
    for (const std::string& line : fCapture->Lines())
      n += line.starts_with(aPrefix);
    return n;
  };
  auto notLogged = [&] {
    std::uint64_t sum = 0;
    for (const auto& m : fCapture->Messages()) {
      unsigned long long n = 0;
      if (std::sscanf(m.Text.c_str(), "SNMP trap receiver: %llu refused datagram(s) not logged",
                      &n) == 1) {
        sum += n;
      }
    }
    return sum;
  };
  fCapture->Clear();
  for (int i = 0; i < 25; ++i)
    Send(refused);
  for (int i = 0; i < 20; ++i)
    Send(TrapWithId(i));
  ASSERT_TRUE(fLoop.RunUntil([&] { return admitted == 20 && count("Hint:") == 10; }, 5s));
  // A second later the rest of the refusals are counted in one Warning.
  clock = 1500;
  ASSERT_TRUE(fLoop.RunUntil([&] { return notLogged() == 15; }, 5s)) << notLogged();
  EXPECT_EQ(count("Hint:  SNMPv1 trap packet width invalid community"), 10);
  EXPECT_EQ(count("Trace: SNMP trap packet received"), 30);  // 10 refused, 20 admitted

  // The next second's refusals are logged again.
  fCapture->Clear();
  clock = 3000;
  Send(refused);
  ASSERT_TRUE(fLoop.RunUntil([&] { return count("Hint:") == 1; }, 5s));
}

// Several messages in one hand-off: each is handled as if it came alone, and
// one whose dispatch fails gets its error line right after its own lines
// while the others go on.
TEST_F(SnmpTrapReceiverTest, AFailingMessageInABatchDoesNotStopTheOthers) {
  fReceiver =
      std::make_unique<TSnmpTrapReceiver>("127.0.0.1", 0, "public", kUser, kAuthPwd, kPrivPwd);
  std::vector<std::string> ids;
  fReceiver->OnData = [&](TSnmpTrapReceiver* aSender) {
    ids.push_back(aSender->MibValue("1.3.6.4.1.52814.8424.1"));
    if (ids.back() == "3")
      throw Exception("handler failed");
  };
  fReceiver->Start();
  ASSERT_TRUE(fLoop.RunUntil([&] { return fReceiver->BoundPort() != 0; }, 5s));
  fTo = ResolveAddress("127.0.0.1", fReceiver->BoundPort(), TSockType::eDatagram);
  fCapture->Clear();
  const std::size_t handOffs = fLoop.HandOffs();
  // The first trap waits in the hand-off while the main loop does not run;
  // the five after it queue up and come over together.
  Send(TrapWithId(0));
  std::this_thread::sleep_for(100ms);
  for (int i = 1; i <= 5; ++i)
    Send(TrapWithId(i));
  std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(fLoop.RunUntil([&] { return ids.size() == 6; }, 5s));
  fLoop.RunUntil([] { return false; }, 50ms);
  EXPECT_EQ(ids, (std::vector<std::string>{"0", "1", "2", "3", "4", "5"}));
  EXPECT_LE(fLoop.HandOffs() - handOffs, 2u);
  const auto lines = fCapture->Lines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[4], "Error: SNMP trap packet error: handler failed");
  EXPECT_THAT(lines[3], HasSubstr("Trace: SNMP trap packet received"));
  EXPECT_THAT(lines[5], HasSubstr("Trace: SNMP trap packet received"));
}

// SNMPv2c with AcceptV2c and AnswerInforms: traps admitted by community,
// informs answered from the listening socket with their request-id and
// bindings, a retransmission answered again but handed on once.
TEST_F(SnmpTrapReceiverTest, SnmpV2cTrapsAndInformsWithTheSwitchesOn) {
  fConfigure = [](TSnmpTrapReceiver& aReceiver) {
    aReceiver.AcceptV2c = true;
    aReceiver.AnswerInforms = true;
  };
  Start();
  auto v2c = [](std::int32_t aPdu, std::string aCommunity = "public") {
    TrapFields s;
    s.Version = 1;
    s.PduType = aPdu;
    s.Community = std::move(aCommunity);
    return s;
  };
  struct Case {
    const char* Name;
    TrapFields Trap;
    bool Admitted;
    bool Answered;
    std::vector<std::string> After;
  };
  const std::vector<Case> cases = {
      {"trap", v2c(kPduTrapV2), true, false, {}},
      {"inform", v2c(kPduInformRequest), true, true, {}},
      {"inform again",
       v2c(kPduInformRequest),
       false,
       true,
       {"Trace: SNMP inform retransmission answered again, not counted again"}},
      {"other community",
       v2c(kPduTrapV2, "Public"),
       false,
       false,
       {"Hint:  SNMPv2c trap packet with invalid community \"Public\" ignored!"}},
      {"inform, other community",
       v2c(kPduInformRequest, "Public"),
       false,
       false,
       {"Hint:  SNMPv2c trap packet with invalid community \"Public\" ignored!"}},
      {"get request",
       v2c(kPduGetRequest),
       false,
       false,
       {"Hint:  SNMPv2c packet with PDU type A0 ignored!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string sent = Encode(c.Trap);
    const auto lines = SendAndCollect(sent, 1 + c.After.size());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], TraceLine(1, 7, 4));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), c.After);
    EXPECT_EQ(fData.size(), c.Admitted ? 1u : 0u);
    const auto answer = Answer(c.Answered ? 2s : 200ms);
    ASSERT_EQ(answer.has_value(), c.Answered);
    if (!answer)
      continue;
    // The inform itself with only the PDU tag changed.
    std::string expected = sent;
    expected[expected.find('\xA6')] = '\xA2';
    EXPECT_EQ(*answer, expected);
  }
}

TEST_F(SnmpTrapReceiverTest, SnmpV2cWithAnEmptyCommunityIsRefusedByCommunity) {
  fConfigure = [](TSnmpTrapReceiver& aReceiver) { aReceiver.AcceptV2c = true; };
  Start("");
  TrapFields s;
  s.Version = 1;
  const auto lines = SendAndCollect(Encode(s), 2);
  EXPECT_THAT(lines,
              Contains("Hint:  SNMPv2c trap packet with invalid community \"public\" ignored!"));
  EXPECT_TRUE(fData.empty());
}

// SNMPv3 informs with Tavo as the authoritative engine: discovery, the time
// window, the Response at the message's level, and silence for everything
// that does not authenticate.
TEST_F(SnmpTrapReceiverTest, SnmpV3InformsAnsweredAsTheAuthoritativeEngine) {
  const std::string engine = std::string("\x80\x00\xCE\x4E\x05", 5) + "12345678";
  std::atomic<std::int64_t>& clock = fClock;
  clock = 100000;
  fConfigure = [&](TSnmpTrapReceiver& aReceiver) {
    aReceiver.AnswerInforms = true;
    aReceiver.Engine = TSnmpEngineState{engine, 5};
    aReceiver.SteadyMs = [&clock] { return clock.load(); };
  };
  Start();
  clock = 120500;  // engine time 20
  auto v3 = [&](TV3Flags aFlags, std::int32_t aPdu = kPduInformRequest) {
    TrapFields s;
    s.Version = 3;
    s.Flags = aFlags;
    s.PduType = aPdu;
    s.Reportable = true;
    s.EngineId = engine;
    s.Boots = 5;
    s.Time = 25;
    return s;
  };
  TrapFields discovery = v3(TV3Flags::NoAuthNoPriv, kPduGetRequest);
  discovery.EngineId = "";
  TrapFields foreign = v3(TV3Flags::AuthNoPriv);
  foreign.EngineId = std::string("\x80\x00\x1f\x88\x04", 5) + "other";
  TrapFields stale = v3(TV3Flags::AuthNoPriv);
  stale.Boots = 4;
  TrapFields late = v3(TV3Flags::AuthPriv);
  late.Time = 20 + 151;
  TrapFields wrongPassword = v3(TV3Flags::AuthNoPriv);
  wrongPassword.AuthPassword = "wrong-password";
  TrapFields stranger = v3(TV3Flags::AuthPriv);
  stranger.User = "intruder";
  TrapFields trap = foreign;  // a trap to any engine ID: as ever
  trap.Reportable = false;
  trap.PduType = kPduTrapV2;
  struct Case {
    const char* Name;
    TrapFields Trap;
    bool Admitted;
    std::int32_t AnswerPdu;  // 0: none
    const char* ReportOid;
  };
  const std::vector<Case> cases = {
      {"discovery", discovery, false, kPduReport, kUsmStatsUnknownEngineIDs},
      {"to another engine", foreign, false, kPduReport, kUsmStatsUnknownEngineIDs},
      {"authNoPriv", v3(TV3Flags::AuthNoPriv), true, kPduResponse, ""},
      {"authPriv", v3(TV3Flags::AuthPriv), true, kPduResponse, ""},
      {"old boots", stale, false, kPduReport, kUsmStatsNotInTimeWindows},
      {"time beyond the window", late, false, kPduReport, kUsmStatsNotInTimeWindows},
      {"wrong password", wrongPassword, false, 0, ""},
      {"unknown user", stranger, false, 0, ""},
      {"trap to another engine", trap, true, 0, ""},
  };
  std::uint32_t unknownEngineReports = 0;
  std::int32_t id = 100;
  for (Case c : cases) {
    c.Trap.Id = ++id;  // a new inform each time, not a retransmission
    SCOPED_TRACE(c.Name);
    fCapture->Clear();
    fData.clear();
    Send(Encode(c.Trap));
    fLoop.RunUntil([&] { return !fCapture->Messages().empty(); }, 5s);
    fLoop.RunUntil([] { return false; }, 50ms);
    EXPECT_EQ(fData.size(), c.Admitted ? 1u : 0u);
    // Only a message that is answered goes without the warning.
    EXPECT_EQ(fCapture->Contains("Warning: SNMP trap reply not supported!"),
              c.AnswerPdu == 0 && c.Trap.Reportable);
    const auto answer = Answer(c.AnswerPdu ? 2s : 200ms);
    ASSERT_EQ(answer.has_value(), c.AnswerPdu != 0);
    if (!answer)
      continue;
    TSNMPRec r;
    test::SetSampleReceiver(r, c.Trap);
    ASSERT_TRUE(r.DecodeBuf(*answer));
    EXPECT_EQ(r.FPDUType, c.AnswerPdu);
    EXPECT_EQ(r.FMsgID, id);
    EXPECT_EQ(r.FAuthEngineID, engine);
    EXPECT_EQ(r.FAuthEngineBoots, 5);
    EXPECT_EQ(r.FAuthEngineTime, 20);
    EXPECT_FALSE(r.FFlagReportable);
    if (c.AnswerPdu == kPduResponse) {
      EXPECT_EQ(r.FFlags, c.Trap.Flags);
      EXPECT_EQ(r.FID, id);
      EXPECT_EQ(r.FErrorStatus, 0);
      EXPECT_EQ(r.MIBCount(), 4);
      EXPECT_TRUE(VerifyAuthentication(*answer, TV3Auth::AuthMD5, kAuthPwd));
      continue;
    }
    ASSERT_EQ(r.MIBCount(), 1);
    EXPECT_EQ(r.MIBByIndex(0)->FOID, c.ReportOid);
    EXPECT_EQ(r.MIBByIndex(0)->FValueType, kBerCounter32);
    if (c.ReportOid == std::string(kUsmStatsUnknownEngineIDs)) {
      EXPECT_EQ(r.FFlags, TV3Flags::NoAuthNoPriv);
      EXPECT_EQ(r.MIBByIndex(0)->FValue, std::to_string(++unknownEngineReports));
    } else {
      EXPECT_EQ(r.FFlags, TV3Flags::AuthNoPriv);
      EXPECT_TRUE(VerifyAuthentication(*answer, TV3Auth::AuthMD5, kAuthPwd));
    }
  }

  // The same inform twice (a lost Response): answered twice, handed on once.
  TrapFields again = v3(TV3Flags::AuthPriv);
  again.Id = 500;
  const std::string twice = Encode(again);
  fData.clear();
  for (int i = 0; i < 2; ++i) {
    Send(twice);
    fLoop.RunUntil([&] { return fSender.WaitReadable(0); }, 5s);  // the hand-off runs here
    const auto answer = Answer();
    ASSERT_TRUE(answer.has_value());
    TSNMPRec r;
    test::SetSampleReceiver(r, again);
    ASSERT_TRUE(r.DecodeBuf(*answer));
    EXPECT_EQ(r.FPDUType, kPduResponse);
    EXPECT_EQ(r.FID, 500);
  }
  fLoop.RunUntil([] { return false; }, 100ms);
  EXPECT_EQ(fData.size(), 1u);

  // Reports go out at most ten a second.
  clock = 130000;
  const std::string probe = Encode(discovery);
  for (int i = 0; i < 15; ++i)
    Send(probe);
  fLoop.RunUntil([] { return false; }, 300ms);
  int reports = 0;
  while (Answer(200ms))
    ++reports;
  EXPECT_EQ(reports, 10);
}

}  // namespace
}  // namespace tavo
