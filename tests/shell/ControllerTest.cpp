// The controller in this process, on the test main loop: the receiver's end
// reported in both forms, with an endpoint failure injected; which client a
// trap reaches; a check cycle that an error ends; the backup clean-up kept
// out of Tavo's own folders; a failed rotation reported after the append.

#include "shell/Controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "FaultyFileSystem.h"
#include "FreePorts.h"
#include "TestMainLoop.h"
#include "TestSupport.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/ProcessControl.h"
#include "platform/Socket.h"
#include "shell/RunMode.h"
#include "snmp/BerEncoding.h"
#ifdef _WIN32
#include <windows.h>
#undef DeleteFile

#include "platform/WideText.h"
#endif

namespace tavo {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;

// A refused rename as the platform's file calls report it.
#ifdef _WIN32
constexpr int kDenied = 5;  // ERROR_ACCESS_DENIED
const std::string kDeniedText = OSErrorText(kDenied);
#else
constexpr int kDenied = EACCES;
const std::string kDeniedText = "Permission denied";
#endif

// A folder, and a link to one; on Windows a symbolic link to the folder.
::testing::AssertionResult MakeFolder(const std::string& aPath) {
#ifdef _WIN32
  std::error_code error;
  if (std::filesystem::create_directory(Utf8ToWide(aPath), error))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << aPath << ": " << error.message();
#else
  if (::mkdir(aPath.c_str(), 0755) == 0)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << aPath << ": " << std::strerror(errno);
#endif
}
::testing::AssertionResult MakeFolderLink(const std::string& aTarget, const std::string& aLink) {
#ifdef _WIN32
  // A link's target is taken as written: '\' only. Unprivileged where the
  // system allows it (developer mode), as under Wine.
  if (::CreateSymbolicLinkW(
          Utf8ToWide(aLink).c_str(), Utf8ToWide(NormalizePath(aTarget)).c_str(),
          SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << aLink << ": error " << ::GetLastError();
#else
  if (::symlink(aTarget.c_str(), aLink.c_str()) == 0)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << aLink << ": " << std::strerror(errno);
#endif
}

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetRunMode(TRunMode::eService, false);
    fMain = std::make_unique<test::TestMainLoop>();
  }
  void TearDown() override {
    fMain->BeginShutdown();
    fFrm.reset();
    fMain.reset();
    SetConfigFileOverride("");
  }
  void Create(const std::string& aIni) {
    SetConfigFileOverride(fDir.Write("tavo.ini", aIni));
    fFrm = std::make_unique<TfrmMain>(*fMain);
  }
  std::vector<std::string> Lines() const {
    try {
      return test::LogLinesOf(test::ReadWholeFile(fsLog.empty() ? fDir.File("tavo.log") : fsLog));
    } catch (...) {
      return {};
    }
  }
  bool SpinUntilLine(const std::string& aLine, std::chrono::milliseconds aTimeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + aTimeout;
    for (;;) {
      const auto lines = Lines();
      if (std::find(lines.begin(), lines.end(), aLine) != lines.end())
        return true;
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      fMain->RunUntil([] { return false; }, 10ms);
    }
  }

  test::TempDir fDir;
  std::string fsLog;  // the log file Lines() reads; empty: tavo.log beside tavo.ini
  std::unique_ptr<test::TestMainLoop> fMain;
  std::unique_ptr<TfrmMain> fFrm;
  const std::string fReceiver =
      "[SnmpTrapReceiver]\nPort=" + std::to_string(test::FreeUdpPort()) + "\n";
};

TEST_F(ControllerTest, AnEndpointFailureClosesTheReceiverWithItsText) {
  Create(fReceiver);
  fFrm->OnTrapReceiverCreated = [](TSnmpTrapReceiver& aReceiver) {
    aReceiver.OnEndpointSetup = [] { throw Exception("no sockets left"); };
  };
  fFrm->FormCreate();
  ASSERT_TRUE(SpinUntilLine(
      "Error: Client SNMP trap receiver closed with: SNMP receiver exception: no sockets left"))
      << ::testing::PrintToString(Lines());
  EXPECT_THAT(Lines(), Contains("Trace: Initialization done"));
}

TEST_F(ControllerTest, AReceiverThatStopsWhileConnectedClosesWithoutError) {
  Create(fReceiver);
  fFrm->FormCreate();
  ASSERT_TRUE(SpinUntilLine("Trace: Initialization done"));
  fFrm->TrapReceiver()->Terminate();
  ASSERT_TRUE(SpinUntilLine("Error: Client SNMP trap receiver closed without error."));
  // At shutdown the events are detached first: no second line.
  fFrm->FormDestroy();
  const auto lines = Lines();
  EXPECT_EQ(lines.back(), "Info:  Service closed");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.find("Client SNMP trap receiver closed") != l.npos;
                          }),
            1);
}

// Clients whose OIDs tell the dispatch's rules apart: A and B with text
// OIDs, C1 and C2 sharing one OID, D without a text OID.
constexpr char kDispatchClients[] =
    "[Client A]\nName=A\nOidMsgId=1.3.6.1.4.1.99.1.1\nOidMsgText=1.3.6.1.4.1.99.1.2\n"
    "100=L;3;50;Restart\n"
    "[Client B]\nName=B\nOidMsgId=1.3.6.1.4.1.99.2.1\nOidMsgText=1.3.6.1.4.1.99.2.2\n"
    "100=L;3;50;Restart\n"
    "[Client C1]\nName=C1\nOidMsgId=1.3.6.1.4.1.99.3.1\n100=L;3;50;Restart\n"
    "[Client C2]\nName=C2\nOidMsgId=1.3.6.1.4.1.99.3.1\n100=L;3;50;Restart\n"
    "[Client D]\nName=D\nOidMsgId=1.3.6.1.4.1.99.4.1\n100=L;3;50;Restart\n";

TEST_F(ControllerTest, TheDispatchFindsTheClientOfTheFirstMatchingBinding) {
  Create(fReceiver + "Community=public\n" + kDispatchClients);
  fFrm->FormCreate();
  ASSERT_TRUE(SpinUntilLine("Trace: Initialization done"));
  const auto bound = std::chrono::steady_clock::now() + 5s;
  while (fFrm->TrapReceiver()->BoundPort() == 0 && std::chrono::steady_clock::now() < bound)
    fMain->RunUntil([] { return false; }, 10ms);
  TUdpSocket sender;
  const TSocketAddress to =
      ResolveAddress("127.0.0.1", fFrm->TrapReceiver()->BoundPort(), TSockType::eDatagram);
  auto counts = [&] {
    std::string out;
    for (const auto& [oid, client] : fFrm->Clients()) {
      const TMessageAccount& a = *client->MsgAccounts().front();
      out += client->Name() + "=" + std::to_string(a.EventCounter()) + "/" + a.Text() + " ";
    }
    return out;
  };
  struct Case {
    const char* Name;
    std::vector<std::pair<std::string, std::string>> Bindings;  // OID, value (INTEGER when digits)
    std::string Counts;                                         // after the trap
    std::string Line;  // a line the trap must have written, if any
  };
  const Case cases[] = {
      {"none matches: the first binding's OID is named",
       {{"1.3.6.1.4.1.77.1", "100"}, {"1.3.6.1.4.1.99.9.1", "100"}},
       "A=0/ B=0/ C1=0/ C2=0/ D=0/ ",
       "Trace: No client configuration with OID \"1.3.6.1.4.1.77.1\" and following OIDs found!"},
      {"two clients' OIDs: the first binding wins",
       {{"1.3.6.1.4.1.99.2.1", "100"},
        {"1.3.6.1.4.1.99.1.1", "100"},
        {"1.3.6.1.4.1.99.2.2", "text B"}},
       "A=0/ B=1/text B C1=0/ C2=0/ D=0/ ",
       ""},
      {"a shared OID: the first section wins",
       {{"1.3.6.1.4.1.99.3.1", "100"}},
       "A=0/ B=1/text B C1=1/ C2=0/ D=0/ ",
       ""},
      {"no text OID: counted with an empty text",
       {{"1.3.6.1.4.1.99.4.1", "100"}, {"1.3.6.1.4.1.99.4.2", "ignored"}},
       "A=0/ B=1/text B C1=1/ C2=0/ D=1/ ",
       ""},
  };
  int sent = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TSNMPRec trap;
    trap.FPDUType = kPduTrapV1;
    trap.FOldTrapEnterprise = "1.3.6.1.4.1.99.0";
    for (const auto& [oid, value] : c.Bindings) {
      const bool number = !value.empty() && value.find_first_not_of("0123456789") == value.npos;
      trap.MIBAdd(oid, value, number ? kBerInteger : kBerOctetString);
    }
    sender.SendTo(trap.EncodeBuf(), to);
    ++sent;
    // Every trap writes its received line; the dispatch follows it.
    auto received = [&] {
      const auto lines = Lines();
      return std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.starts_with("Trace: SNMP trap packet received");
      });
    };
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (received() < sent && std::chrono::steady_clock::now() < deadline)
      fMain->RunUntil([] { return false; }, 10ms);
    EXPECT_EQ(counts(), c.Counts);
    if (!c.Line.empty()) {
      EXPECT_THAT(Lines(), Contains(c.Line));
    }
  }
}

// Ends the first snapshot with an error, as a failing platform call would.
class FailOnceProcessControl final : public IProcessControl {
 public:
  std::vector<TProcessEntry> Snapshot() override {
    if (fbFailed)
      return {};
    fbFailed = true;
    throw Exception("snapshot failed");
  }
  TEndRequest RequestEnd(int) override { return {}; }

 private:
  bool fbFailed = false;
};

TEST_F(ControllerTest, AnErrorInOneClientEndsTheCycleAndTheNextChecksAll) {
  const std::string program = fDir.Write("agent.bin", "program");
  // A and C count in windows of six cycles, so each check shows; B restarts
  // at its first check, and its first process snapshot fails.
  Create(
      "[General]\nCheckInterval=0\n"
      "[Client A]\nName=A\nOidMsgId=1.2.1\n1=L;3;5;Restart\n"
      "[Client B]\nName=B\nOidMsgId=1.2.2\nExecutable=" +
      program +
      "\n1=L;0;0;Restart\n"
      "[Client C]\nName=C\nOidMsgId=1.2.3\n1=L;3;5;Restart\n");
  fFrm->FormCreate();
  ASSERT_TRUE(SpinUntilLine("Trace: Initialization done"));
  FailOnceProcessControl processes;
  SetProcessControl(&processes);
  const auto& clients = fFrm->Clients();
  ASSERT_EQ(clients.size(), 3u);
  clients[1].second->Increment(1, "");
  auto checks = [&](std::size_t aClient) {
    return clients[aClient].second->MsgAccounts().front()->IntervalCounter();
  };
  EXPECT_THROW(fFrm->CheckIntervalTimerEvent(), Exception);
  EXPECT_EQ(checks(0), 1u);
  EXPECT_EQ(checks(2), 0u);  // not reached in this cycle
  fFrm->CheckIntervalTimerEvent();
  EXPECT_EQ(checks(0), 2u);
  EXPECT_EQ(checks(2), 1u);
  SetProcessControl(nullptr);
}

// Every case has the log in logs/, a template in tpl/ and a link to logs/;
// only a folder of none of Tavo's own files is cleaned up.
TEST_F(ControllerTest, TheBackupCleanUpStaysOutOfTavosOwnFolders) {
  const struct {
    const char* backup;  // BackupDirectory
    bool cleaned;
  } cases[] = {
      {".", false}, {"logs", false}, {"tpl", false}, {"link", false}, {"bak", true},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.backup);
    const std::string root = fDir.File("case" + std::to_string(++n));
    for (const char* folder : {"", "/logs", "/tpl", "/bak"})
      ASSERT_TRUE(MakeFolder(root + folder));
    ASSERT_TRUE(MakeFolderLink(root + "/logs", root + "/link"));
#ifdef _WIN32
    // Wine accepts a symbolic link and makes none: that row needs a real
    // Windows.
    if (std::string(c.backup) == "link" && !DirectoryExists(root + "/link")) {
      std::cout << "[   NOTE   ] no folder links here: the \"link\" row is left out\n";
      continue;
    }
#endif
    test::WriteWholeFile(root + "/tpl/report.txt", "Subject\nBody\n");
    const std::string folder = NormalizePath(root + "/" + c.backup);
    const std::string old = folder + "/old.txt";
    test::WriteWholeFile(old, "old");
    test::SetFileAge(old, -std::chrono::hours(10 * 24));
    test::WriteWholeFile(root + "/tavo.ini",
                         "[Logging]\nDirectory=logs\nBackupDirectory=" + std::string(c.backup) +
                             "\nBackupRetainDays=3\n[General]\nCheckInterval=0\n"
                             "[Recipients]\nNms=Type=SnmpTrapV1;Host=127.0.0.1;Port=9\n"
                             "[Client A]\nName=A\nOidMsgId=1.2.1\n"
                             "1=L;3;50;Send;Nms;tpl/report.txt\n");
    SetConfigFileOverride(root + "/tavo.ini");
    fsLog = root + "/logs/tavo.log";
    fFrm = std::make_unique<TfrmMain>(*fMain);
    fFrm->FormCreate();
    ASSERT_TRUE(SpinUntilLine("Trace: Initialization done")) << ::testing::PrintToString(Lines());
    ASSERT_EQ(fFrm->Clients().size(), 1u);
    fFrm->CheckIntervalTimerEvent();
    const std::string refusal = "Error: Log backup directory " + folder + kPathDelimiter +
                                " holds Tavo's own files: old files are not cleaned up";
    const auto lines = Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), refusal), c.cleaned ? 0 : 1);
    // The rotation still goes there: the banner names the folder.
    EXPECT_THAT(lines, Contains("Info:  Log backup directory: " + folder + kPathDelimiter));
    EXPECT_EQ(
        std::count(lines.begin(), lines.end(), "Info:  Backup directory cleaned up 1 file(s)"),
        c.cleaned ? 1 : 0);
    EXPECT_EQ(FileExists(old), !c.cleaned);
    EXPECT_TRUE(FileExists(root + "/tpl/report.txt"));
    EXPECT_TRUE(FileExists(root + "/tavo.ini"));
    fFrm->FormDestroy();
    fFrm.reset();
  }
}

// The inform keys at start-up and in --check: the engine file beside the
// log keeps the engine ID and raises the boots; an invalid EngineId or a
// corrupt file is an Error and leaves SNMPv3 informs off (and the file as
// it was); --check writes no engine file.
TEST_F(ControllerTest, TheEngineOfAnsweredInformsAndItsErrors) {
  const std::string engineFile = fDir.File("tavo.log.engine");
  const std::string informs = fReceiver + "AnswerInforms=1\n";
  auto count = [&](const std::string& aPrefix) {
    const auto lines = Lines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.starts_with(aPrefix); });
  };
  auto run = [&](const std::string& aIni) {
    const auto started = count("Trace: Initialization done");
    Create(aIni);
    fFrm->FormCreate();
    ASSERT_TRUE(fMain->RunUntil([&] { return count("Trace: Initialization done") > started; }, 5s));
    fFrm->FormDestroy();
    // The receiver's last hand-off needs the loop before it can be joined.
    fMain->RunUntil([&] { return fFrm->TrapReceiver()->Finished(); }, 10s);
    fFrm.reset();
  };
  auto check = [&](const std::string& aIni) {
    Create(aIni);
    const int status = fFrm->RunConfigurationCheck();
    fFrm.reset();
    return status;
  };
  EXPECT_EQ(check(informs + "EngineId=8000\n"), 1);
  EXPECT_EQ(check(informs), 0);
  EXPECT_FALSE(FileExists(engineFile));

  run(informs);
  run(informs);
  const std::string text = test::ReadWholeFile(engineFile);
  ASSERT_TRUE(text.starts_with("EngineID=8000CE4E05")) << text;
  const std::string id = text.substr(9, 26);
  EXPECT_EQ(text, "EngineID=" + id + "\nBoots=2\n");
  EXPECT_EQ(count("Info:  SNMP trap receiver answers informs as SNMP engine " + id + " (boots 1)"),
            1);
  EXPECT_EQ(count("Info:  SNMP trap receiver answers informs as SNMP engine " + id + " (boots 2)"),
            1);

  run(informs + "EngineId=0x8000\n");
  EXPECT_EQ(count("Error: Invalid EngineId \"0x8000\" in [SnmpTrapReceiver] (5 to 32 octets in "
                  "hexadecimal): SNMPv3 informs are not answered"),
            1);
  EXPECT_EQ(count("Info:  SNMP trap receiver answers SNMPv2c informs only"), 1);
  test::WriteWholeFile(engineFile, "EngineID=8000\nBoots=3\n");
  run(informs);
  EXPECT_EQ(count("Error: SNMP engine file: " + engineFile +
                  " is not an engine file: SNMPv3 informs are not answered"),
            1);
  EXPECT_EQ(test::ReadWholeFile(engineFile), "EngineID=8000\nBoots=3\n");
  EXPECT_EQ(check(informs), 1);
}

// The sink reports the failure once the append has returned: one Error line
// in the log, which keeps growing with every line.
TEST_F(ControllerTest, AFailedRotationIsReportedOnceAsAnError) {
  test::FaultyFileSystem files;
  files.FailRename = test::FaultyFileSystem::kEvery;
  files.Error = kDenied;
  Create("[Logging]\nMaxFileSize=300\n[General]\nCheckInterval=0\n");
  fFrm->FormCreate();
  ASSERT_TRUE(SpinUntilLine("Trace: Initialization done"));
  for (int i = 0; i < 5; ++i)
    TMsg::Info("more");
  const auto lines = Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "Error: Log rotation: cannot rename " + fDir.File("tavo.log") + " (" +
                           kDeniedText + ")"),
            1)
      << ::testing::PrintToString(lines);
  EXPECT_EQ(lines.front(), "Info:  " + std::string(30, '-'));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Info:  more"), 5);
  EXPECT_FALSE(FileExists(fDir.File("tavo.bak")));
  EXPECT_GT(files.Renames, 5);
}

}  // namespace
}  // namespace tavo
