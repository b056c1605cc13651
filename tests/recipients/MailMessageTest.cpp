// The mail message: addresses, header text, the Date header and the
// Message-ID, and the composed message with its envelope, headers and body.

#include "recipients/MailMessage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "ByteText.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"

namespace tavo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using test::Base64Decode;

// The value of a header of composed data ("" when it is missing).
std::string Header(const std::string& aData, const std::string& aName) {
  const std::string key = aName + ": ";
  const auto at = aData.starts_with(key) ? 0 : aData.find("\r\n" + key);
  if (at == std::string::npos)
    return "";
  const auto start = at == 0 ? key.size() : at + 2 + key.size();
  return aData.substr(start, aData.find("\r\n", start) - start);
}

// The body of composed data, without the final "." line.
std::string Body(const std::string& aData) {
  const auto start = aData.find("\r\n\r\n") + 4;
  return aData.substr(start, aData.size() - 3 - start);
}

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

TEST(MailHeaderTest, DateCarriesTheWeekdayAndTheSignedOffset) {
  struct {
    TLocalDateTime Time;
    int Offset;
    const char* Expected;
  } cases[] = {
      {{2024, 3, 5, 9, 7, 3, 0, 2}, 60, "Tue, 05 Mar 2024 09:07:03 +0100"},
      {{2023, 12, 31, 23, 59, 59, 999, 7}, 0, "Sun, 31 Dec 2023 23:59:59 +0000"},
      {{2024, 1, 1, 0, 0, 0, 0, 1}, -210, "Mon, 01 Jan 2024 00:00:00 -0330"},
      {{2024, 6, 15, 12, 30, 0, 0, 6}, 345, "Sat, 15 Jun 2024 12:30:00 +0545"},
      {{2024, 2, 29, 18, 0, 0, 0, 4}, -600, "Thu, 29 Feb 2024 18:00:00 -1000"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DateHeaderValue({c.Time, c.Offset}), c.Expected);
}

TEST(MailHeaderTest, MessageIdsAreFreshAndTakeTheSendersCleanDomain) {
  const std::regex form(R"(<[0-9a-f]+\.[0-9a-f]{16}@[A-Za-z0-9.-]+>)");
  struct {
    const char* Sender;
    const char* Domain;  // nullptr: the host name's, or localhost
  } cases[] = {
      {"tavo@example.org", "example.org"},
      {"a@b@Mail-1.example.org", "Mail-1.example.org"},
      {"x@ex<am>ple .org", "example.org"},
      {"x@\x01\xC3\xA4", "localhost"},
      {"", nullptr},
      {"x@", nullptr},
  };
  for (const auto& c : cases) {
    const std::string id = MessageIdValue(c.Sender);
    EXPECT_TRUE(std::regex_match(id, form)) << id;
    if (c.Domain) {
      EXPECT_TRUE(id.ends_with(std::string("@") + c.Domain + ">")) << id;
    }
  }
  EXPECT_NE(MessageIdValue("a@x.org"), MessageIdValue("a@x.org"));
}

TEST(MailMessageTest, EnvelopeAndHeadersComeFromTheAddresses) {
  const TMailMessage m =
      ComposeMessage({"", "tavo@example.org"}, "ops@example.org, Night Shift <night@example.org>",
                     "Disk full", "line\r\n", false);
  EXPECT_EQ(m.Sender, "tavo@example.org");
  EXPECT_THAT(m.Recipients, ElementsAre("ops@example.org", "night@example.org"));
  EXPECT_TRUE(m.Data.starts_with("Date: ")) << m.Data;
  EXPECT_TRUE(std::regex_match(Header(m.Data, "Date"),
                               std::regex(R"([A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} )"
                                          R"(\d\d:\d\d:\d\d [+-]\d{4})")))
      << Header(m.Data, "Date");
  EXPECT_EQ(Header(m.Data, "From"), "tavo@example.org");
  EXPECT_THAT(m.Data,
              HasSubstr("\r\nTo: ops@example.org,\r\n Night Shift <night@example.org>\r\n"));
  EXPECT_TRUE(Header(m.Data, "Message-ID").ends_with("@example.org>"));

  // Without an address the sender is an empty group.
  EXPECT_EQ(Header(ComposeMessage({}, "a@x.org", "s", "b", false).Data, "From"), "Tavo:;");
  EXPECT_EQ(Header(ComposeMessage({"Ops", ""}, "a@x.org", "s", "b", false).Data, "From"), "Ops:;");
  EXPECT_EQ(ComposeMessage({}, "a@x.org", "s", "b", false).Sender, "");

  try {
    ComposeMessage({}, " , ", "s", "b", false);
    ADD_FAILURE() << "no recipient accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "No recipient address in \" , \"");
  }
  EXPECT_THROW(ComposeMessage({}, "ops@example.org\r\nRSET", "s", "b", false), Exception);
}

TEST(MailMessageTest, BodyIsSevenBitWhileItCanBeElseBase64) {
  const std::string longest(998, 'x');
  struct {
    std::string Text;
    bool Utf8Only;
    const char* Charset;
    const char* Encoding;
    std::string Body;  // as it is meant, CR LF line ends
  } cases[] = {
      {"plain\r\ntext", false, "us-ascii", "7bit", "plain\r\ntext\r\n"},
      {"plain", true, "UTF-8", "7bit", "plain\r\n"},
      {"Gr\xC3\xBC\xC3\x9F", false, "UTF-8", "base64", "Gr\xC3\xBC\xC3\x9F\r\n"},
      {longest, false, "us-ascii", "7bit", longest + "\r\n"},
      {longest + "x", false, "us-ascii", "base64", longest + "x\r\n"},
      {std::string("a\0b", 3), false, "us-ascii", "base64", std::string("a\0b\r\n", 5)},
      {"bad \xFF byte", false, "UTF-8", "base64", "bad \xEF\xBF\xBD byte\r\n"},
      {"", false, "us-ascii", "7bit", ""},
  };
  for (const auto& c : cases) {
    const TMailMessage m = ComposeMessage({}, "a@x.org", "s", c.Text, c.Utf8Only);
    EXPECT_EQ(Header(m.Data, "MIME-Version"), "1.0");
    EXPECT_EQ(Header(m.Data, "Content-Type"), std::string("text/plain; charset=") + c.Charset)
        << c.Text;
    EXPECT_EQ(Header(m.Data, "Content-Transfer-Encoding"), c.Encoding) << c.Text;
    std::string body = Body(m.Data);
    if (std::string(c.Encoding) == "base64") {
      std::string flat;
      for (std::size_t pos = 0; pos < body.size();) {
        const auto end = body.find("\r\n", pos);
        EXPECT_LE(end - pos, 76u);
        flat += body.substr(pos, end - pos);
        pos = end + 2;
      }
      body = Base64Decode(flat);
    }
    EXPECT_EQ(body, c.Body) << c.Text;
  }
}

TEST(MailMessageTest, LineEndsBecomeCrLfAndLeadingDotsAreDoubled) {
  const TMailMessage m =
      ComposeMessage({}, "a@x.org", "s", "first\n.hidden\r..two\r\n\r\nlast", false);
  EXPECT_TRUE(m.Data.ends_with("\r\n\r\nfirst\r\n..hidden\r\n...two\r\n\r\nlast\r\n.\r\n"))
      << m.Data;
}

TEST(MailMessageTest, ControlCharactersCannotInjectHeaders) {
  const TMailMessage m = ComposeMessage({"", "tavo@example.org"}, "ops@example.org",
                                        "Alarm\r\nBcc: victim@example.org", "a\rb\nc", false);
  EXPECT_THAT(m.Data, HasSubstr("\r\nSubject: Alarm  Bcc: victim@example.org\r\n"));
  EXPECT_EQ(m.Data.find("\r\nBcc:"), std::string::npos);
  EXPECT_TRUE(m.Data.ends_with("\r\n\r\na\r\nb\r\nc\r\n.\r\n")) << m.Data;  // lone CR, LF: CR LF
  EXPECT_EQ(NoControls("a\r\nb\tc\x7F"), "a  b c ");
}

}  // namespace
}  // namespace tavo
