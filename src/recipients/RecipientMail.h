#pragma once
// The mail recipient: delivers each report as one plain-text mail through
// an SMTP server. Report() queues the mail and returns at once; one worker
// (TOrvoSimpleMail) at a time sends the oldest queued mail and reports back
// on the main thread, which logs the outcome and starts the next one.
// Nothing is retried: a mail that fails is logged and dropped. The mails
// waiting behind the one on its way are bounded (kMaxQueuedMails, and
// kMaxQueuedMailBytes of report text): beyond that the oldest are dropped
// with a Warning; the newest report is always kept.
//
// Settings (items of the recipient's [Recipients] line): Host, Port (25),
// User, Passcode or Password, FromName, FromAddress, To, and Tls
// ("STARTTLS" or "Implicit"; the port then defaults to 465). A User without
// Tls gets a Warning at load: its password would cross the network in clear.
//
// Main thread only. The recipient owns its queue; the worker frees itself.
// Destroying the recipient while a mail is on its way detaches the worker
// (its outcome reaches no one) and drops the queued mails.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "recipients/OrvoSimpleMail.h"
#include "recipients/Recipients.h"

namespace tavo {

// The bounds of one recipient's queue, whichever is reached first.
constexpr std::size_t kMaxQueuedMails = 1000;
constexpr std::size_t kMaxQueuedMailBytes = 16 * 1024 * 1024;

class TRecipientMail : public TRecipient {
 public:
  explicit TRecipientMail(std::string aName);
  ~TRecipientMail() override;

  // Reads the settings; false, after the errors were emitted, when "Host"
  // or "To" is missing or "Port" or "Tls" is invalid.
  bool Init(const TStringList& aCfg) override;
  // Queues one mail: the first line of aText is the subject, the rest the
  // body. A full queue first drops its oldest mails.
  void Report(const std::string& aText) override;

  const std::string& Host() const { return fsHost; }
  std::int32_t Port() const { return fiPort; }
  const std::string& User() const { return fsUser; }
  const std::string& FromName() const { return fsFromName; }
  const std::string& FromAddress() const { return fsFromAddress; }
  const std::string& ToAddress() const { return fsToAddress; }
  TMailTls Tls() const { return fTls; }
  // Mails waiting behind the one on its way.
  std::size_t QueueCount() const { return fQueue.size(); }
  // Their texts' sizes in bytes.
  std::size_t QueueBytes() const { return fnQueueBytes; }
  bool Sending() const { return fSMail != nullptr; }

 private:
  void SendNext();
  void DropOldest();
  void MailDone(const std::string& aMsg);
  void DetachMailer();

  std::deque<std::string> fQueue;  // each mail's text as reported, oldest first
  std::size_t fnQueueBytes = 0;
  std::string fsHost;
  std::int32_t fiPort = 25;
  std::string fsUser;
  std::string fsPwd;  // in clear, in memory only, never in a message
  std::string fsFromName;
  std::string fsFromAddress;
  std::string fsToAddress;
  TMailTls fTls = TMailTls::eNone;
  std::shared_ptr<TOrvoSimpleMail> fSMail;  // the worker on its way, if any
};

}  // namespace tavo
