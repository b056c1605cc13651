// The SMTP transport against a scripted server that answers, refuses,
// closes or stalls on cue, and the message helpers.

#include "recipients/OrvoSimpleMail.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nettle/base64.h>

#include <optional>

#include "MailWorkerFixture.h"
#include "SmtpPeers.h"
#include "platform/Network.h"
#include "platform/TextCodec.h"

namespace tavo {
namespace {

using test::ScriptedSmtpServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Base64Decode(const std::string& aText) {
  base64_decode_ctx ctx;
  base64_decode_init(&ctx);
  std::string out(BASE64_DECODE_LENGTH(aText.size()), '\0');
  std::size_t len = out.size();
  if (!base64_decode_update(&ctx, &len, reinterpret_cast<std::uint8_t*>(out.data()), aText.size(),
                            aText.data()) ||
      !base64_decode_final(&ctx)) {
    return "<invalid base64>";
  }
  out.resize(len);
  return out;
}

std::string EhloName() {
  const std::string name = HostName();
  return name.empty() ? "localhost" : name;
}

class OrvoSimpleMailTest : public ::testing::Test {
 protected:
  OrvoSimpleMailTest() { fMail.SetDefaultTimeouts({2000, 2000, 2000}); }
  void TearDown() override {
    // No worker may outlive the loop it reports to.
    EXPECT_TRUE(fMail.WaitAllDone());
  }

  std::shared_ptr<TOrvoSimpleMail> NewMail(std::uint16_t aPort) { return fMail.NewMail(aPort); }
  std::optional<std::string> SendAndWait(const std::shared_ptr<TOrvoSimpleMail>& aMail) {
    return fMail.SendAndWait(aMail);
  }

  test::MailWorkerFixture fMail;
};

TEST_F(OrvoSimpleMailTest, PlainDialogueSendsOneRcptPerAddressAndStuffsDots) {
  ScriptedSmtpServer server;
  auto mail = NewMail(server.Port());
  mail->ToAddress = "ops@example.org, Night Shift <night@example.org>";
  mail->Text = "first\r\n.hidden\r\n..two\r\n";
  EXPECT_EQ(SendAndWait(mail), "");
  EXPECT_THAT(server.Commands(), ElementsAre("EHLO " + EhloName(), "MAIL FROM:<tavo@example.org>",
                                             "RCPT TO:<ops@example.org>",
                                             "RCPT TO:<night@example.org>", "DATA", ".", "QUIT"));
  ASSERT_EQ(server.Mails().size(), 1u);
  const std::string data = server.Mails()[0];
  EXPECT_THAT(data, HasSubstr("\r\nTo: ops@example.org,\r\n Night Shift <night@example.org>\r\n"));
  EXPECT_THAT(data, HasSubstr("\r\nSubject: Disk full\r\n"));
  EXPECT_THAT(data, HasSubstr("\r\nContent-Type: text/plain; charset=us-ascii\r\n"));
  EXPECT_THAT(data, HasSubstr("\r\nMIME-Version: 1.0\r\n"));
  EXPECT_THAT(data, HasSubstr("\r\nMessage-ID: <"));
  EXPECT_TRUE(data.starts_with("Date: ")) << data;
  EXPECT_TRUE(data.ends_with("\r\n\r\nfirst\r\n.hidden\r\n..two\r\n")) << data;
}

TEST_F(OrvoSimpleMailTest, LoginDialogueAuthenticatesFirstAndKeepsOneRcptPerAddress) {
  ScriptedSmtpServer server;
  auto mail = NewMail(server.Port());
  mail->User = "tavo";
  mail->Pwd = "s3cr\xC3\xA9t";
  mail->FromName = "Tavo Agent";
  mail->ToAddress = "a@example.org,b@example.org";
  EXPECT_EQ(SendAndWait(mail), "");
  const auto commands = server.Commands();
  ASSERT_GE(commands.size(), 6u);
  EXPECT_EQ(commands[1], "AUTH LOGIN");
  EXPECT_EQ(Base64Decode(commands[2]), "tavo");
  EXPECT_EQ(Base64Decode(commands[3]), "s3cr\xC3\xA9t");
  EXPECT_EQ(commands[4], "MAIL FROM:<tavo@example.org>");
  EXPECT_EQ(commands[5], "RCPT TO:<a@example.org>");
  EXPECT_EQ(commands[6], "RCPT TO:<b@example.org>");
  ASSERT_EQ(server.Mails().size(), 1u);
  EXPECT_THAT(server.Mails()[0], HasSubstr("\r\nFrom: Tavo Agent <tavo@example.org>\r\n"));
  EXPECT_THAT(server.Mails()[0], HasSubstr("charset=UTF-8"));
}

TEST_F(OrvoSimpleMailTest, RefusedEhloFallsBackToHeloWithTheSameName) {
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine.starts_with("EHLO"))
          return ScriptedSmtpServer::Reply("502 5.5.2 not here");
        return std::nullopt;
      });
  auto mail = NewMail(server.Port());
  EXPECT_EQ(SendAndWait(mail), "");
  const auto commands = server.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0], "EHLO " + EhloName());
  EXPECT_EQ(commands[1], "HELO " + EhloName());
  EXPECT_EQ(server.Mails().size(), 1u);
}

TEST_F(OrvoSimpleMailTest, WithoutLoginAmongAuthMechanismsNothingIsSent) {
  ScriptedSmtpServer server;
  server.SetCapabilities({"AUTH PLAIN CRAM-MD5", "8BITMIME"});
  auto mail = NewMail(server.Port());
  mail->User = "tavo";
  mail->Pwd = "pw";
  EXPECT_EQ(SendAndWait(mail), "Host connection not authenticated!");
  EXPECT_THAT(server.Commands(), ElementsAre("EHLO " + EhloName(), "QUIT"));
}

TEST_F(OrvoSimpleMailTest, OldStyleAuthEqualsLineOffersLogin) {
  ScriptedSmtpServer server;
  server.SetCapabilities({"AUTH=LOGIN", "AUTH PLAIN"});
  auto mail = NewMail(server.Port());
  mail->User = "tavo";
  EXPECT_EQ(SendAndWait(mail), "");
  EXPECT_EQ(server.IndexOf("AUTH LOGIN"), 1);
}

// One row per way a server lets the transfer down.
struct FailureCase {
  const char* Name;
  const char* Trigger;  // command prefix the script reacts to ("" greeting)
  enum { kReply, kClose, kStall } Act;
  const char* Reply;
  const char* Outcome;  // substring of the outcome
  bool Rset;            // RSET expected before QUIT
  bool Quit;            // QUIT expected
  bool Login;
};

// Beyond the longest reply the client reads.
const std::string kOverlongReply(70 * 1024, 'x');

const FailureCase kFailures[] = {
    {"greeting", "", FailureCase::kReply, "554 5.3.2 no service", "554 5.3.2 no service", false,
     true, false},
    {"mail", "MAIL", FailureCase::kReply, "553 5.1.8 bad sender", "553 5.1.8 bad sender", false,
     true, false},
    {"rcpt", "RCPT", FailureCase::kReply, "550 5.1.1 no such user", "550 5.1.1 no such user", true,
     true, false},
    {"data", "DATA", FailureCase::kReply, "554 5.5.1 no valid recipients",
     "554 5.5.1 no valid recipients", true, true, false},
    {"dot", ".", FailureCase::kReply, "552 5.3.4 message too big", "552 5.3.4 message too big",
     true, true, false},
    {"multiline", "MAIL", FailureCase::kReply, "451-4.3.0 try\r\n451 4.3.0 later",
     "451-4.3.0 try\r\n451 4.3.0 later", false, true, false},
    {"password", "cHc=", FailureCase::kReply, "535 5.7.8 bad credentials",
     "535 5.7.8 bad credentials", false, true, true},
    {"closeAtRcpt", "RCPT", FailureCase::kClose, "", "Connection closed by the server", false,
     false, false},
    {"closeAtGreeting", "", FailureCase::kClose, "", "Connection closed by the server", false,
     false, false},
    // The connection still stands after these: QUIT goes out all the same.
    {"stallAtEhlo", "EHLO", FailureCase::kStall, "", "Timed out waiting for the server's reply",
     false, true, false},
    {"stallAtDot", ".", FailureCase::kStall, "", "Timed out waiting for the server's reply", false,
     true, false},
    {"garbledAtMail", "MAIL", FailureCase::kReply, "hello there",
     "Invalid reply from the server: \"hello there\"", false, true, false},
    {"overlongAtRcpt", "RCPT", FailureCase::kReply, kOverlongReply.c_str(),
     "Reply from the server too long", false, true, false},
};

class OrvoSimpleMailFailureTest : public OrvoSimpleMailTest,
                                  public ::testing::WithParamInterface<FailureCase> {};

TEST_P(OrvoSimpleMailFailureTest, EndsWithTheServersReplyAndTheRightFarewell) {
  const FailureCase& c = GetParam();
  ScriptedSmtpServer server(
      [&c](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        const bool hit = c.Trigger[0] == '\0' ? aLine.empty() : aLine.starts_with(c.Trigger);
        if (!hit)
          return std::nullopt;
        if (c.Act == FailureCase::kClose)
          return ScriptedSmtpServer::Close();
        if (c.Act == FailureCase::kStall)
          return ScriptedSmtpServer::Stall();
        return ScriptedSmtpServer::Reply(c.Reply);
      });
  auto mail = NewMail(server.Port());
  mail->Timeouts = {2000, 300, 300};
  if (c.Login) {
    mail->User = "tavo";
    mail->Pwd = "pw";
  }
  const auto outcome = SendAndWait(mail);
  ASSERT_TRUE(outcome);
  EXPECT_TRUE(outcome->starts_with("Exception \"")) << *outcome;
  EXPECT_THAT(*outcome, HasSubstr(c.Outcome));
  EXPECT_TRUE(outcome->ends_with("\" for <<Disk full>>")) << *outcome;
  // The client hangs up after its farewell (or at once), so the command
  // list is complete once the server has seen the connection end.
  ASSERT_TRUE(fMail.Loop().RunUntil([&] { return server.ClosedConnections() == 1; }));
  const auto commands = server.Commands();
  const int rset = server.IndexOf("RSET");
  const int quit = server.IndexOf("QUIT");
  EXPECT_EQ(rset >= 0, c.Rset);
  EXPECT_EQ(quit >= 0, c.Quit);
  if (c.Rset) {
    EXPECT_EQ(quit, rset + 1);
  }
  if (c.Quit) {
    EXPECT_EQ(commands.back(), "QUIT");
  }
  EXPECT_EQ(server.IndexOf("DATA") >= 0,
            std::string(c.Trigger) == "DATA" || std::string(c.Trigger) == ".");
  EXPECT_TRUE(server.Mails().size() == (std::string(c.Trigger) == "." ? 1u : 0u));
}

INSTANTIATE_TEST_SUITE_P(Servers, OrvoSimpleMailFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& aInfo) { return std::string(aInfo.param.Name); });

TEST_F(OrvoSimpleMailTest, RsetThatIsNotAnsweredIsStillFollowedByQuit) {
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine.starts_with("RCPT"))
          return ScriptedSmtpServer::Reply("550 no such user");
        if (aLine == "RSET")
          return ScriptedSmtpServer::Stall();
        return std::nullopt;
      });
  auto mail = NewMail(server.Port());
  mail->Timeouts = {2000, 300, 300};
  EXPECT_EQ(SendAndWait(mail), "Exception \"550 no such user\" for <<Disk full>>");
  ASSERT_TRUE(fMail.Loop().RunUntil([&] { return server.ClosedConnections() == 1; }));
  const auto commands = server.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_THAT(std::vector(commands.end() - 2, commands.end()), ElementsAre("RSET", "QUIT"));
}

TEST_F(OrvoSimpleMailTest, FirstRefusedRecipientEndsTheTransfer) {
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine == "RCPT TO:<b@example.org>")
          return ScriptedSmtpServer::Reply("550 no b");
        return std::nullopt;
      });
  auto mail = NewMail(server.Port());
  mail->ToAddress = "a@example.org, b@example.org, c@example.org";
  EXPECT_EQ(SendAndWait(mail), "Exception \"550 no b\" for <<Disk full>>");
  ASSERT_TRUE(fMail.Loop().RunUntil([&] { return server.ClosedConnections() == 1; }));
  EXPECT_EQ(server.IndexOf("RCPT TO:<c@"), -1);
}

TEST_F(OrvoSimpleMailTest, LongSubjectIsCutInTheOutcomeOnly) {
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine.starts_with("MAIL"))
          return ScriptedSmtpServer::Reply("451 later");
        return std::nullopt;
      });
  // 300 characters, the euro sign (one UTF-16 unit, three bytes) among them.
  std::string subject;
  for (int i = 0; i < 100; ++i)
    subject += "ab\xE2\x82\xAC";
  for (int limit : {255, 0}) {
    auto mail = NewMail(server.Port());
    mail->Subject = subject;
    mail->MaxTextLengthOnException = limit;
    const auto outcome = SendAndWait(mail);
    ASSERT_TRUE(outcome);
    const std::string shown = limit > 0 ? Utf16Left(subject, 255) : subject;
    EXPECT_EQ(*outcome, "Exception \"451 later\" for <<" + shown + ">>");
  }
  EXPECT_EQ(Utf16Length(Utf16Left(subject, 255)), 255u);
}

TEST_F(OrvoSimpleMailTest, EmptySenderGivesNullReversePath) {
  ScriptedSmtpServer server;
  auto mail = NewMail(server.Port());
  mail->FromAddress = "";
  EXPECT_EQ(SendAndWait(mail), "");
  EXPECT_EQ(server.IndexOf("MAIL FROM:<>"), 1);
  ASSERT_EQ(server.Mails().size(), 1u);
  EXPECT_THAT(server.Mails()[0], HasSubstr("\r\nFrom: Tavo:;\r\n"));
}

TEST_F(OrvoSimpleMailTest, ConnectionAndAddressFailuresAreReported) {
  // A port nothing listens on: bind one, note it, close it.
  std::uint16_t deadPort = 0;
  {
    ScriptedSmtpServer probe;
    deadPort = probe.Port();
  }
  struct {
    std::string Host;
    std::string To;
    const char* Outcome;
  } cases[] = {
      {"127.0.0.1", "ops@example.org", "Connection refused"},
      {"no-such-host.invalid", "ops@example.org", "Cannot resolve \"no-such-host.invalid\""},
      {"127.0.0.1", " , ", "No recipient address"},
      {"127.0.0.1", "ops@example.org\r\nRSET", "Invalid mail address"},
  };
  for (const auto& c : cases) {
    auto mail = NewMail(deadPort);
    mail->Host = c.Host;
    mail->ToAddress = c.To;
    const auto outcome = SendAndWait(mail);
    ASSERT_TRUE(outcome) << c.Host;
    EXPECT_THAT(*outcome, HasSubstr(c.Outcome));
    EXPECT_TRUE(outcome->starts_with("Exception \"")) << *outcome;
  }
}

TEST_F(OrvoSimpleMailTest, ControlCharactersCannotInjectHeaders) {
  ScriptedSmtpServer server;
  auto mail = NewMail(server.Port());
  mail->Subject = "Alarm\r\nBcc: victim@example.org";
  mail->Text = "a\rb\nc";  // lone CR and LF become CR LF
  EXPECT_EQ(SendAndWait(mail), "");
  ASSERT_EQ(server.Mails().size(), 1u);
  const std::string data = server.Mails()[0];
  EXPECT_THAT(data, HasSubstr("\r\nSubject: Alarm  Bcc: victim@example.org\r\n"));
  EXPECT_EQ(data.find("\r\nBcc:"), std::string::npos);
  EXPECT_TRUE(data.ends_with("\r\n\r\na\r\nb\r\nc\r\n")) << data;
}

TEST_F(OrvoSimpleMailTest, DetachedWorkerReportsToNoOne) {
  // The server holds the mail until the owner has let go.
  ScriptedSmtpServer server(
      [](const std::string& aLine) -> std::optional<ScriptedSmtpServer::TResponse> {
        if (aLine.starts_with("MAIL"))
          return ScriptedSmtpServer::Stall();
        return std::nullopt;
      });
  bool called = false;
  auto mail = NewMail(server.Port());
  mail->Timeouts = {2000, 500, 500};
  mail->OnDone = [&](const std::string&) { called = true; };
  std::weak_ptr<TOrvoSimpleMail> watch = mail;
  mail->Send();
  ASSERT_TRUE(fMail.Loop().RunUntil([&] { return server.IndexOf("MAIL") >= 0; }));
  mail->OnDone = nullptr;  // what the owner does when it goes
  mail.reset();
  EXPECT_TRUE(fMail.WaitAllDone(std::chrono::seconds(10)));
  EXPECT_FALSE(called);
  EXPECT_TRUE(watch.expired());  // the worker freed itself
}

TEST_F(OrvoSimpleMailTest, SendNeedsAMainThreadAndStartsOnce) {
  ScriptedSmtpServer server;
  auto mail = NewMail(server.Port());
  EXPECT_EQ(SendAndWait(mail), "");
  EXPECT_THROW(mail->Send(), Exception);
  SetMainThread(nullptr);
  EXPECT_THROW(NewMail(server.Port())->Send(), Exception);
  SetMainThread(&fMail.Loop());
}

// --- Message helpers ----------------------------------------------------------

TEST(MailAddressTest, ListsSplitAtCommasOutsideQuotesAndBrackets) {
  struct {
    const char* Text;
    std::vector<std::pair<std::string, std::string>> Expected;  // name, address
  } cases[] = {
      {"a@x.org", {{"", "a@x.org"}}},
      {" a@x.org , b@y.org ", {{"", "a@x.org"}, {"", "b@y.org"}}},
      {"Ops <ops@x.org>", {{"Ops", "ops@x.org"}}},
      {"\"Doe, John\" <j@x.org>, <k@x.org>", {{"Doe, John", "j@x.org"}, {"", "k@x.org"}}},
      {"\"Say \\\"hi\\\"\" <h@x.org>", {{"Say \"hi\"", "h@x.org"}}},
      {",a@x.org,,", {{"", "a@x.org"}}},
      {"", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<std::string, std::string>> got;
    for (const TMailAddress& a : ParseMailAddressList(c.Text))
      got.emplace_back(a.Name, a.Address);
    EXPECT_EQ(got, c.Expected) << c.Text;
  }
  for (const char* bad : {"a b@x.org", "Name <a@x.org", "<>", "a@x.org\r\nRSET", "Name"}) {
    if (std::string(bad) == "Name") {
      EXPECT_EQ(ParseMailAddress(bad).Address, "Name");  // a bare word is a local address
      continue;
    }
    EXPECT_THROW(ParseMailAddress(bad), Exception) << bad;
  }
}

TEST(MailHeaderTest, NonAsciiTextBecomesShortEncodedWordsThatKeepCharactersWhole) {
  EXPECT_EQ(EncodeHeaderText("Disk full on srv1"), "Disk full on srv1");
  EXPECT_EQ(EncodeHeaderText("caf\xC3\xA9"), "=?UTF-8?B?Y2Fmw6k=?=");
  EXPECT_EQ(EncodeHeaderText("looks like =?x?"), "=?UTF-8?B?bG9va3MgbGlrZSA9P3g/?=");

  std::string text;
  for (int i = 0; i < 40; ++i)
    text += "\xC3\xBC\xE2\x82\xAC";  // ü€, 2 + 3 bytes
  const std::string encoded = EncodeHeaderText(text);
  std::string decoded;
  std::size_t pos = 0;
  while (pos < encoded.size()) {
    auto end = encoded.find("\r\n ", pos);
    if (end == std::string::npos)
      end = encoded.size();
    const std::string word = encoded.substr(pos, end - pos);
    EXPECT_LE(word.size(), 75u);
    ASSERT_TRUE(word.starts_with("=?UTF-8?B?") && word.ends_with("?=")) << word;
    const std::string bytes = Base64Decode(word.substr(10, word.size() - 12));
    EXPECT_TRUE(IsValidUtf8(bytes));
    decoded += bytes;
    pos = end == encoded.size() ? end : end + 3;
  }
  EXPECT_EQ(decoded, text);
}

TEST(MailHeaderTest, MailboxesQuoteOrEncodeTheirNames) {
  EXPECT_EQ(FormatMailbox({"", "a@x.org"}), "a@x.org");
  EXPECT_EQ(FormatMailbox({"Ops Team", "a@x.org"}), "Ops Team <a@x.org>");
  EXPECT_EQ(FormatMailbox({"Doe, J. \"Jo\"", "a@x.org"}), "\"Doe, J. \\\"Jo\\\"\" <a@x.org>");
  EXPECT_EQ(FormatMailbox({"J\xC3\xB6rg", "a@x.org"}), "=?UTF-8?B?SsO2cmc=?= <a@x.org>");
}

}  // namespace
}  // namespace tavo
