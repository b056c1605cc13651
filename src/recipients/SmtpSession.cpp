#include "recipients/SmtpSession.h"

#include <algorithm>

#include "platform/Memory.h"
#include "platform/Network.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"
#include "recipients/MailMessage.h"
#include "recipients/SmtpChannel.h"

namespace tavo {

struct TSmtpReply {
  int Code = 0;
  std::vector<std::string> Lines;  // as received, code included
  // The reply as the server sent it, for error texts.
  std::string Text() const {
    std::string text;
    for (const std::string& line : Lines) {
      if (!text.empty())
        text += "\r\n";
      text += line;
    }
    return text;
  }
};

namespace {

// How long the QUIT after a lost step may take to send and to be answered: the
// server has already kept us waiting once.
constexpr int kQuitOutOfStepMs = 2000;

void Expect(const TSmtpReply& aReply, std::initializer_list<int> aCodes) {
  if (std::find(aCodes.begin(), aCodes.end(), aReply.Code) == aCodes.end())
    throw ESmtpError(aReply.Text());
}

}  // namespace

TSmtpSession::TSmtpSession(const TMailTimeouts& aTimeouts)
    : fTimeouts(aTimeouts), fChannel(std::make_unique<TSmtpChannel>()) {}

TSmtpSession::~TSmtpSession() = default;

void TSmtpSession::Run(const std::function<void()>& aSteps) {
  try {
    aSteps();
  } catch (const EBrokenConnection&) {
    fState = TState::eBroken;
    Abandon();
    throw;
  } catch (const EOutOfStep&) {
    fState = TState::eOutOfStep;
    Abandon();
    throw;
  } catch (...) {
    Abandon();
    throw;
  }
  Quit();
}

// --- Steps ---------------------------------------------------------------------

void TSmtpSession::Open(const std::string& aHost, std::uint16_t aPort, TMailTls aTls) {
  fsHost = aHost;
  fChannel->Connect(aHost, aPort, fTimeouts.ConnectMs);
  fbOpen = true;
  if (aTls == TMailTls::eImplicit)
    fChannel->StartTls(aHost, fTimeouts.ReplyMs);
  Expect(ReadReply(fTimeouts.ReplyMs), {220});
}

void TSmtpSession::Hello(TMailTls aTls) {
  std::string name = HostName();
  if (name.empty())
    name = "localhost";
  fsHelloName = NoControls(name);
  SayHello();
  if (aTls != TMailTls::eStartTls)
    return;
  if (!Offers("STARTTLS"))
    throw ESmtpError("The server does not offer STARTTLS");
  Expect(Command("STARTTLS"), {220});
  fChannel->StartTls(fsHost, fTimeouts.ReplyMs);
  SayHello();
}

bool TSmtpSession::OffersLogin() const {
  for (const std::string& ext : fslCapabilities) {
    if (ext.size() < 5 || !SameText(ext.substr(0, 4), "AUTH"))
      continue;
    if (ext[4] != ' ' && ext[4] != '=')
      continue;
    std::size_t pos = 5;
    while (pos < ext.size()) {
      const auto end = std::min(ext.find(' ', pos), ext.size());
      if (SameText(ext.substr(pos, end - pos), "LOGIN"))
        return true;
      pos = end + 1;
    }
  }
  return false;
}

void TSmtpSession::AuthLogin(const std::string& aUser, const std::string& aPwd) {
  Expect(Command("AUTH LOGIN"), {334});
  Expect(Command(Base64(aUser)), {334});
  std::string secret = Base64(aPwd);
  const TSmtpReply reply = Command(secret);
  SecureWipe(secret);
  Expect(reply, {235});
}

void TSmtpSession::Transfer(const TMailMessage& aMessage) {
  Expect(Command("MAIL FROM:<" + aMessage.Sender + ">"), {250});
  for (const std::string& rcpt : aMessage.Recipients) {
    ExpectOrReset(Command("RCPT TO:<" + rcpt + ">"), {250, 251});
  }
  ExpectOrReset(Command("DATA"), {354});
  fChannel->Write(aMessage.Data, fTimeouts.ReplyMs);
  ExpectOrReset(ReadReply(fTimeouts.DataEndMs), {250});
}

// --- The end of the dialogue -------------------------------------------------------

// QUIT at the regular end: the mail is out, so its reply changes nothing.
void TSmtpSession::Quit() {
  try {
    Command("QUIT", QuitWaitMs());
  } catch (const std::exception&) {
  }
  fChannel->Close();
  fbOpen = false;
}

// After a failure: RSET when a transaction was refused, then QUIT, as far
// as the connection still carries them.
void TSmtpSession::Abandon() {
  if (fbOpen && fState == TState::eInStep && fbResetDue) {
    try {
      Command("RSET", QuitWaitMs());
    } catch (const EOutOfStep&) {
      fState = TState::eOutOfStep;
    } catch (const std::exception&) {
      fState = TState::eBroken;
    }
  }
  if (fbOpen && fState == TState::eInStep) {
    try {
      Command("QUIT", QuitWaitMs());
    } catch (const std::exception&) {
    }
  } else if (fbOpen && fState == TState::eOutOfStep) {
    QuitOutOfStep();
  }
  fChannel->Close();
  fbOpen = false;
}

// QUIT with a short, bounded send. Late replies to earlier commands may
// still come before its own, so whatever arrives is read and dropped until
// the 221, the server's close or the deadline: closing with unread input
// resets the connection, which may cost the server the QUIT.
void TSmtpSession::QuitOutOfStep() {
  const int waitMs = std::min(fTimeouts.ReplyMs, kQuitOutOfStepMs);
  try {
    fChannel->DropInput();
    fChannel->Write("QUIT\r\n", waitMs);
    const auto deadline = DeadlineIn(waitMs);
    for (;;) {
      const std::string line = fChannel->ReadLine(deadline);
      if (line.starts_with("221") && (line.size() == 3 || line[3] != '-'))
        return;
    }
  } catch (const std::exception&) {
    // Timed out, closed or unreadable: the connection ends here anyway.
  }
}

int TSmtpSession::QuitWaitMs() const {
  return std::min(fTimeouts.ReplyMs, 10 * 1000);
}

// --- Commands and replies ----------------------------------------------------------

bool TSmtpSession::Offers(const std::string& aKeyword) const {
  for (const std::string& ext : fslCapabilities) {
    const auto end = std::min(ext.find(' '), ext.size());
    if (SameText(std::string_view(ext).substr(0, end), aKeyword))
      return true;
  }
  return false;
}

void TSmtpSession::SayHello() {
  fslCapabilities.clear();
  const TSmtpReply ehlo = Command("EHLO " + fsHelloName);
  if (ehlo.Code == 250) {
    for (std::size_t i = 1; i < ehlo.Lines.size(); ++i) {
      fslCapabilities.push_back(ehlo.Lines[i].size() > 4 ? ehlo.Lines[i].substr(4) : "");
    }
    return;
  }
  Expect(Command("HELO " + fsHelloName), {250});
}

TSmtpReply TSmtpSession::Command(const std::string& aLine, int aReplyMs) {
  fChannel->Write(aLine + "\r\n", fTimeouts.ReplyMs);
  return ReadReply(aReplyMs < 0 ? fTimeouts.ReplyMs : aReplyMs);
}

TSmtpReply TSmtpSession::ReadReply(int aTimeoutMs) {
  const auto deadline = DeadlineIn(aTimeoutMs);
  TSmtpReply reply;
  std::size_t total = 0;
  for (;;) {
    std::string line = ReceivedTextToUtf8(fChannel->ReadLine(deadline));
    total += line.size();
    if (total > kMaxReplyBytes)
      throw EOutOfStep("Reply from the server too long");
    if (line.size() < 3 ||
        !std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; })) {
      throw EOutOfStep("Invalid reply from the server: \"" + NoControls(line) + "\"");
    }
    reply.Code = std::stoi(line.substr(0, 3));
    const bool more = line.size() > 3 && line[3] == '-';
    reply.Lines.push_back(NoControls(line));
    if (!more)
      return reply;
  }
}

void TSmtpSession::ExpectOrReset(const TSmtpReply& aReply, std::initializer_list<int> aCodes) {
  if (std::find(aCodes.begin(), aCodes.end(), aReply.Code) == aCodes.end()) {
    fbResetDue = true;
    throw ESmtpError(aReply.Text());
  }
}

}  // namespace tavo
