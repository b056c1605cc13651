#include "recipients/OrvoSimpleMail.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "messages/Format.h"
#include "platform/Memory.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"
#include "recipients/MailMessage.h"

namespace tavo {
namespace {

std::atomic<int> gRunning{0};
std::mutex gTimeoutsMutex;
TMailTimeouts gDefaultTimeouts;

// The sender from FromAddress, which may carry its own display name; none
// when it is empty.
TMailAddress SenderAddress(const std::string& aFromAddress) {
  if (TrimChars(aFromAddress, " \t").empty())
    return {};
  return ParseMailAddress(aFromAddress);
}

}  // namespace

std::shared_ptr<TOrvoSimpleMail> TOrvoSimpleMail::Create() {
  return std::shared_ptr<TOrvoSimpleMail>(new TOrvoSimpleMail());
}

TOrvoSimpleMail::~TOrvoSimpleMail() {
  SecureWipe(Pwd);
}

TMailTimeouts TOrvoSimpleMail::DefaultTimeouts() {
  std::lock_guard lock(gTimeoutsMutex);
  return gDefaultTimeouts;
}

void TOrvoSimpleMail::SetDefaultTimeouts(const std::optional<TMailTimeouts>& aTimeouts) {
  std::lock_guard lock(gTimeoutsMutex);
  gDefaultTimeouts = aTimeouts.value_or(TMailTimeouts{});
}

int TOrvoSimpleMail::RunningCount() {
  return gRunning.load();
}

void TOrvoSimpleMail::Send() {
  if (fbStarted)
    throw Exception("The mail worker has already been started");
  if (!MainThread())
    throw Exception("No main thread to report the mail's outcome to");
  fsReturnMsg.clear();
  fbStarted = true;
  ++gRunning;
  try {
    std::thread([self = shared_from_this()]() mutable {
      self->Execute();
      self.reset();
      --gRunning;
    }).detach();
  } catch (const std::exception& e) {
    --gRunning;
    throw Exception(std::string("Cannot start the mail worker: ") + e.what());
  }
}

void TOrvoSimpleMail::Execute() {
  fsReturnMsg.clear();
  try {
    if (!User.empty()) {
      SendWithLogin();
    } else {
      SendPlain();
    }
  } catch (const std::exception& e) {
    std::string subject = Subject;
    if (MaxTextLengthOnException > 0 &&
        Utf16Length(subject) > static_cast<std::size_t>(MaxTextLengthOnException)) {
      subject = Utf16Left(subject, static_cast<std::size_t>(MaxTextLengthOnException));
    }
    try {
      fsReturnMsg = Format("Exception \"%s\" for <<%s>>", {SanitizeUtf8(e.what()), subject});
    } catch (const std::exception&) {
      fsReturnMsg = SanitizeUtf8(e.what());
    }
  }
  // The main thread in effect now: the one of Send may have gone at
  // shutdown, and the one still installed cannot go while we are inside it.
  try {
    SynchronizeMain([this] {
      // A copy: the owner's handler may clear OnDone while it runs.
      const TDoneEvent done = OnDone;
      if (done)
        done(fsReturnMsg);
    });
  } catch (...) {
    // Shutdown has begun or the main thread is gone, or the owner's handler
    // failed: there is no one left to tell.
  }
}

void TOrvoSimpleMail::SendPlain() {
  // FromName is not used here: the sender's own display name is.
  const TMailMessage message =
      ComposeMessage(SenderAddress(FromAddress), ToAddress, Subject, Text, false);
  TSmtpSession session(Timeouts);
  session.Run([&] {
    session.Open(Host, Port, Tls);
    session.Hello(Tls);
    session.Transfer(message);
  });
}

void TOrvoSimpleMail::SendWithLogin() {
  TMailAddress from = SenderAddress(FromAddress);
  if (!FromName.empty())
    from.Name = FromName;
  const TMailMessage message = ComposeMessage(from, ToAddress, Subject, Text, true);
  TSmtpSession session(Timeouts);
  bool authenticated = false;
  session.Run([&] {
    session.Open(Host, Port, Tls);
    session.Hello(Tls);
    if (!session.OffersLogin())
      return;
    session.AuthLogin(User, Pwd);
    authenticated = true;
    session.Transfer(message);
  });
  if (!authenticated)
    fsReturnMsg = "Host connection not authenticated!";
}

}  // namespace tavo
