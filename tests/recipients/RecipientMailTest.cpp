// The mail recipient: its settings and messages, its bounded queue with one
// worker at a time, passcodes, and its end while a mail is on its way. The SMTP
// peer is the scripted server of tests/support.

#include "recipients/RecipientMail.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nettle/base64.h>

#include "MailWorkerFixture.h"
#include "SmtpPeers.h"
#include "TestSupport.h"
#include "config/RC4Coder.h"

namespace tavo {
namespace {

using test::MessageCapture;
using test::ScriptedSmtpServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Base64(const std::string& aText) {
  std::string out(BASE64_ENCODE_RAW_LENGTH(aText.size()), '\0');
  base64_encode_raw(out.data(), aText.size(), reinterpret_cast<const std::uint8_t*>(aText.data()));
  return out;
}

// The subject lines of the mails a scripted server received.
std::vector<std::string> Subjects(const ScriptedSmtpServer& aServer) {
  std::vector<std::string> subjects;
  for (const std::string& data : aServer.Mails()) {
    const auto at = data.find("\r\nSubject: ");
    subjects.push_back(
        at == std::string::npos ? "?" : data.substr(at + 11, data.find("\r\n", at + 2) - at - 11));
  }
  return subjects;
}

class RecipientMailTest : public ::testing::Test {
 protected:
  void SetUp() override { fWorkers.SetDefaultTimeouts({2000, 2000, 2000}); }
  void TearDown() override {
    fRecipient.reset();
    EXPECT_TRUE(fWorkers.WaitAllDone());
  }

  // A recipient "M" made from a configuration line's value, as the list
  // makes it; nullptr when the line is rejected.
  TRecipientMail* Make(const std::string& aCsv) {
    std::unique_ptr<TRecipient> r = TRecipient::CreateObject("M", aCsv);
    fRecipient.reset(dynamic_cast<TRecipientMail*>(r.release()));
    return fRecipient.get();
  }

  std::string Line(std::uint16_t aPort, const std::string& aMore = "") {
    return "Type=SmtpMail;Host=127.0.0.1;Port=" + std::to_string(aPort) +
           ";FromAddress=tavo@example.org;To=ops@example.org" + aMore;
  }

  bool WaitIdle() {
    return fWorkers.Loop().RunUntil([&] { return !fRecipient->Sending(); },
                                    std::chrono::seconds(20));
  }

  std::vector<std::string> LinesStartingWith(const std::string& aPrefix) const {
    std::vector<std::string> out;
    for (const std::string& line : fMsgs.Lines()) {
      if (line.starts_with(aPrefix))
        out.push_back(line);
    }
    return out;
  }

  MessageCapture fMsgs;
  test::MailWorkerFixture fWorkers;
  std::unique_ptr<TRecipientMail> fRecipient;
};

TEST_F(RecipientMailTest, SettingsAreReadAndAnnounced) {
  struct {
    const char* Csv;
    bool Valid;
    std::vector<std::string> Lines;
  } cases[] = {
      {"Type=SmtpMail;Host=mailserver;To=operator",
       true,
       {"Warning: Recipient \"M\" undefined \"FromAddress\"!",
        "Info:  Recipient \"M\": To=operator; From=<> ; Host=mailserver:25"}},
      {"type=smtpmail;Host=\"mail.example.org\";Port=587;User=\"tavo\";Password=pw;"
       "FromName=Tavo Agent;FromAddress=tavo@example.org;To=a@x.org,b@x.org",
       true,
       {"Info:  Recipient \"M\": To=a@x.org,b@x.org; From=<Tavo Agent> tavo@example.org; "
        "Host=mail.example.org:587; User=tavo",
        "Warning: Recipient \"M\": the password of User tavo travels in clear text without Tls"}},
      {"Type=SmtpMail;Host=m;To=o;FromAddress=f@x;Tls=starttls",
       true,
       {"Info:  Recipient \"M\": To=o; From=<> f@x; Host=m:25; Tls=STARTTLS"}},
      {"Type=SmtpMail;Host=m;To=o;FromAddress=f@x;Tls=Implicit",
       true,
       {"Info:  Recipient \"M\": To=o; From=<> f@x; Host=m:465; Tls=Implicit"}},
      {"Type=SmtpMail;Host=m;To=o;FromAddress=f@x;Tls=Sometimes",
       false,
       {"Error: Recipient \"M\" invalid definition \"Tls\"!"}},
      {"Type=SmtpMail;Port=0;FromAddress=f@x",
       false,
       {"Error: Recipient \"M\" missing definition \"Host\"!",
        "Error: Recipient \"M\" invalid definition \"Port\"!",
        "Error: Recipient \"M\" missing definition \"To\"!"}},
  };
  for (const auto& c : cases) {
    fMsgs.Clear();
    EXPECT_EQ(Make(c.Csv) != nullptr, c.Valid) << c.Csv;
    EXPECT_EQ(fMsgs.Lines(), c.Lines) << c.Csv;
  }
  for (const char* port : {"0", "-1", "abc", "65536", "2147483648"}) {
    fMsgs.Clear();
    EXPECT_EQ(Make(std::string("Type=SmtpMail;Host=m;To=o;FromAddress=f@x;Port=") + port), nullptr);
    EXPECT_EQ(fMsgs.Lines(),
              (std::vector<std::string>{"Error: Recipient \"M\" invalid definition \"Port\"!"}));
  }
  TRecipientMail* r = Make("Type=SmtpMail;Host=\"h\";Port=2525;To=\"x@y\";FromName=\"N\"");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Host(), "h");
  EXPECT_EQ(r->Port(), 2525);
  EXPECT_EQ(r->ToAddress(), "x@y");
  EXPECT_EQ(r->FromName(), "N");
}

TEST_F(RecipientMailTest, AUserWithoutTlsIsWarnedOfTheClearTextPassword) {
  const std::string warning =
      "Warning: Recipient \"M\": the password of User tavo travels in clear text without Tls";
  struct {
    const char* Items;
    bool Warned;
  } cases[] = {
      {";User=tavo;Password=pw", true},
      {";User=tavo;Passcode=XYZ", true},
      {";User=tavo;Password=pw;Tls=STARTTLS", false},
      {";User=tavo;Password=pw;Tls=Implicit", false},
      {";Password=pw", false},  // no user, no login
      {"", false},
  };
  for (const auto& c : cases) {
    fMsgs.Clear();
    ASSERT_NE(Make(Line(25, c.Items)), nullptr) << c.Items;
    EXPECT_EQ(LinesStartingWith("Warning"),
              c.Warned ? std::vector<std::string>{warning} : std::vector<std::string>{})
        << c.Items;
  }
}

TEST_F(RecipientMailTest, PasscodeWinsAndThePasswordReachesOnlyAuthLogin) {
  const std::string secret = "Gr\xC3\xBCn 42!";
  const std::string passcode = TRC4HexCoder::Encode("Tavo" + secret);
  ASSERT_FALSE(passcode.empty());
  struct {
    std::string Items;
    std::optional<std::string> Sent;  // the password AUTH LOGIN sends; none: no AUTH
  } cases[] = {
      {";User=tavo;Passcode=" + passcode, secret},
      {";User=tavo;Password=wrong;Passcode=\"" + passcode + "\"", secret},
      {";User=tavo;Passcode=  ;Password=plain", std::string("plain")},
      {";User=tavo;Passcode=XYZ;Password=plain", std::string("")},  // undecodable
      {";Password=plain", std::nullopt},                            // no user, no login
  };
  for (const auto& c : cases) {
    ScriptedSmtpServer server;
    fMsgs.Clear();
    ASSERT_NE(Make(Line(server.Port(), c.Items)), nullptr) << c.Items;
    fRecipient->Report("Subject\r\nBody");
    ASSERT_TRUE(WaitIdle());
    const auto commands = server.Commands();
    const int auth = server.IndexOf("AUTH LOGIN");
    if (!c.Sent) {
      EXPECT_EQ(auth, -1) << c.Items;
    } else {
      ASSERT_GE(auth, 0) << c.Items;
      ASSERT_GT(commands.size(), static_cast<std::size_t>(auth + 2));
      EXPECT_EQ(commands[auth + 1], Base64("tavo"));
      EXPECT_EQ(commands[auth + 2], Base64(*c.Sent)) << c.Items;
    }
    EXPECT_EQ(server.Mails().size(), 1u);
    for (const std::string& line : fMsgs.Lines()) {
      EXPECT_THAT(line, ::testing::Not(HasSubstr(secret)));
      EXPECT_THAT(line, ::testing::Not(HasSubstr("plain")));
      EXPECT_THAT(line, ::testing::Not(HasSubstr(passcode)));
    }
  }
}

TEST_F(RecipientMailTest, ReportsInQuickSuccessionQueueAndGoOutInOrder) {
  ScriptedSmtpServer server;
  ASSERT_NE(Make(Line(server.Port())), nullptr);
  fMsgs.Clear();
  fRecipient->Report("First\r\nbody 1");
  fRecipient->Report("Second\r\nbody 2");
  fRecipient->Report("Third");
  EXPECT_EQ(fRecipient->QueueCount(), 2u);
  ASSERT_TRUE(fWorkers.Loop().RunUntil(
      [&] { return server.Mails().size() == 3 && !fRecipient->Sending(); }));
  EXPECT_THAT(Subjects(server), ElementsAre("First", "Second", "Third"));
  EXPECT_EQ(fMsgs.Lines(), (std::vector<std::string>{
                               "Hint:  Send \"M\" to \"ops@example.org\" subject: \"First\"",
                               "Hint:  Mail to \"M\" queued 1!",
                               "Hint:  Mail to \"M\" queued 2!",
                               "Trace: Mail to \"M\" sent",
                               "Hint:  Send \"M\" to \"ops@example.org\" subject: \"Second\"",
                               "Trace: Mail to \"M\" sent",
                               "Hint:  Send \"M\" to \"ops@example.org\" subject: \"Third\"",
                               "Trace: Mail to \"M\" sent",
                           }));
  // A single line is a subject with an empty body.
  EXPECT_TRUE(server.Mails()[2].ends_with("\r\n\r\n")) << server.Mails()[2];
  EXPECT_TRUE(server.Mails()[0].ends_with("\r\n\r\nbody 1\r\n")) << server.Mails()[0];
}

TEST_F(RecipientMailTest, AFullQueueDropsItsOldestMailsAndKeepsTheNewestInOrder) {
  constexpr std::size_t kMiB = 1024 * 1024;
  const std::string dropped1 = "Warning: Mail to \"M\": queue full, 1 oldest mail(s) dropped";
  struct TReport {
    std::string Subject;
    std::size_t Bytes;  // the whole text's size
  };
  struct TCase {
    const char* Bound;
    std::vector<TReport> Reports;  // behind a first mail that is on its way
    std::vector<std::string> Warnings;
    std::size_t FirstKept;  // the oldest report still queued
    bool SendKept;          // else the sizes tell which ones are kept
  };
  TCase count{"count", {}, {dropped1, dropped1, dropped1}, 3, true};
  for (std::size_t i = 0; i < kMaxQueuedMails + 3; ++i)
    count.Reports.push_back({"Small " + std::to_string(i), 40});
  // Sizes a little below 1 MiB, each its own: sixteen fit, the 17th drops
  // the oldest, 3 MiB three more. Composing 16 MiB of mails is slow under
  // the sanitizers, so these are not sent.
  TCase bytes{"bytes",
              {},
              {dropped1, "Warning: Mail to \"M\": queue full, 3 oldest mail(s) dropped"},
              4,
              false};
  for (std::size_t i = 0; i < 17; ++i)
    bytes.Reports.push_back({"Big " + std::to_string(i), kMiB - i});
  bytes.Reports.push_back({"Huge", 3 * kMiB});

  for (const TCase& c : {count, bytes}) {
    SCOPED_TRACE(c.Bound);
    // The first mail stalls until its reply time-out; the rest are refused,
    // so that each outcome names its subject.
    bool first = true;
    ScriptedSmtpServer server(
        [&first](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
          if (!aLine.starts_with("MAIL"))
            return std::nullopt;
          if (!first)
            return ScriptedSmtpServer::Reply("550 no");
          first = false;
          return ScriptedSmtpServer::Stall();
        });
    fWorkers.SetDefaultTimeouts({2000, 500, 2000});
    ASSERT_NE(Make(Line(server.Port())), nullptr);
    fRecipient->Report("On its way");
    ASSERT_TRUE(fWorkers.Loop().RunUntil([&] { return server.IndexOf("MAIL") >= 0; }));
    fMsgs.Clear();
    std::size_t keptBytes = 0;
    for (std::size_t i = 0; i < c.Reports.size(); ++i) {
      // Lines of 78 bytes with their line end.
      std::string text = c.Reports[i].Subject + "\r\n";
      while (text.size() < c.Reports[i].Bytes)
        text += std::string(76, 'x') + "\r\n";
      text.resize(c.Reports[i].Bytes);
      fRecipient->Report(text);
      if (i >= c.FirstKept)
        keptBytes += text.size();
    }
    EXPECT_EQ(LinesStartingWith("Warning"), c.Warnings);
    EXPECT_EQ(fRecipient->QueueCount(), c.Reports.size() - c.FirstKept);
    EXPECT_EQ(fRecipient->QueueBytes(), keptBytes);
    EXPECT_LE(fRecipient->QueueBytes(), kMaxQueuedMailBytes);
    if (!c.SendKept)
      continue;

    fMsgs.Clear();
    std::vector<std::string> outcomes = {
        "Error: Mail to \"M\": Exception \"Timed out waiting for the server's reply\" for "
        "<<On its way>>"};
    for (std::size_t i = c.FirstKept; i < c.Reports.size(); ++i) {
      outcomes.push_back("Error: Mail to \"M\": Exception \"550 no\" for <<" +
                         c.Reports[i].Subject + ">>");
    }
    ASSERT_TRUE(fWorkers.Loop().RunUntil(
        [&] { return !fRecipient->Sending() && fRecipient->QueueCount() == 0; },
        std::chrono::seconds(60)));
    EXPECT_EQ(LinesStartingWith("Error"), outcomes);
  }
}

TEST_F(RecipientMailTest, EmptyReportIsIgnoredAndTheNextStillGoes) {
  ScriptedSmtpServer server;
  ASSERT_NE(Make(Line(server.Port())), nullptr);
  fMsgs.Clear();
  fRecipient->Report("Before");
  fRecipient->Report("");
  fRecipient->Report("After");
  ASSERT_TRUE(fWorkers.Loop().RunUntil(
      [&] { return server.Mails().size() == 2 && !fRecipient->Sending(); }));
  EXPECT_THAT(Subjects(server), ElementsAre("Before", "After"));
  EXPECT_THAT(LinesStartingWith("Error"), ElementsAre("Error: Empty mail ignored!"));

  // Alone, it is dropped at once.
  fMsgs.Clear();
  fRecipient->Report("");
  EXPECT_FALSE(fRecipient->Sending());
  EXPECT_EQ(fMsgs.Lines(), (std::vector<std::string>{"Error: Empty mail ignored!"}));
}

TEST_F(RecipientMailTest, FailedMailsAreLoggedAndTheQueueMovesOn) {
  // The first mail is refused, the second runs into a time-out, the third
  // goes out.
  int mails = 0;
  ScriptedSmtpServer server(
      [&mails](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (!aLine.starts_with("MAIL"))
          return std::nullopt;
        ++mails;
        if (mails == 1)
          return ScriptedSmtpServer::Reply("550 5.7.1 relaying denied");
        if (mails == 2)
          return ScriptedSmtpServer::Stall();
        return std::nullopt;
      });
  fWorkers.SetDefaultTimeouts({2000, 300, 300});
  ASSERT_NE(Make(Line(server.Port())), nullptr);
  fMsgs.Clear();
  fRecipient->Report("One");
  fRecipient->Report("Two");
  fRecipient->Report("Three");
  ASSERT_TRUE(fWorkers.Loop().RunUntil(
      [&] { return server.Mails().size() == 1 && !fRecipient->Sending(); }));
  EXPECT_THAT(Subjects(server), ElementsAre("Three"));
  EXPECT_THAT(
      LinesStartingWith("Error"),
      ElementsAre("Error: Mail to \"M\": Exception \"550 5.7.1 relaying denied\" for <<One>>",
                  "Error: Mail to \"M\": Exception \"Timed out waiting for the server's "
                  "reply\" for <<Two>>"));
  EXPECT_THAT(LinesStartingWith("Trace"), ElementsAre("Trace: Mail to \"M\" sent"));
}

TEST_F(RecipientMailTest, ServerWithoutLoginGetsNoMail) {
  ScriptedSmtpServer server;
  server.SetCapabilities({"AUTH PLAIN", "8BITMIME"});
  ASSERT_NE(Make(Line(server.Port(), ";User=tavo;Password=pw")), nullptr);
  fMsgs.Clear();
  fRecipient->Report("Alarm");
  ASSERT_TRUE(WaitIdle());
  EXPECT_THAT(LinesStartingWith("Error"),
              ElementsAre("Error: Mail to \"M\": Host connection not authenticated!"));
  EXPECT_EQ(server.IndexOf("MAIL"), -1);
}

TEST_F(RecipientMailTest, DestroyedWhileSendingDetachesTheWorkerAndDropsTheQueue) {
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine.starts_with("MAIL"))
          return ScriptedSmtpServer::Stall();
        return std::nullopt;
      });
  fWorkers.SetDefaultTimeouts({2000, 500, 500});
  ASSERT_NE(Make(Line(server.Port())), nullptr);
  fRecipient->Report("Stuck");
  fRecipient->Report("Waiting");
  ASSERT_TRUE(fWorkers.Loop().RunUntil([&] { return server.IndexOf("MAIL") >= 0; }));
  fMsgs.Clear();
  fRecipient.reset();  // shutdown
  // The worker runs into its time-out and finds no one to tell.
  EXPECT_TRUE(fWorkers.WaitAllDone(std::chrono::seconds(10)));
  EXPECT_TRUE(fMsgs.Lines().empty()) << fMsgs.Lines().front();
  const auto commands = server.Commands();
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const std::string& c) { return c.starts_with("MAIL"); }),
            1);  // the queued mail never started
  EXPECT_TRUE(server.Mails().empty());
}

}  // namespace
}  // namespace tavo
