#include "recipients/RecipientMail.h"

#include <exception>

#include "config/RC4Coder.h"
#include "config/SystemUtils.h"
#include "messages/MsgClasses.h"
#include "platform/Memory.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

void Wipe(std::string& aSecret) {
  SecureWipe(aSecret);
  aSecret.clear();
}

}  // namespace

TRecipientMail::TRecipientMail(std::string aName) : TRecipient(std::move(aName)) {}

TRecipientMail::~TRecipientMail() {
  // A worker still on its way must not report to a recipient that is gone.
  if (fSMail)
    DetachMailer();
  fQueue.clear();
  Wipe(fsPwd);
}

bool TRecipientMail::Init(const TStringList& aCfg) {
  bool valid = true;
  const std::string tlsText = TrimText(UnquoteText(ItemValue(aCfg, "Tls")));
  std::optional<TMailTls> tls;
  if (tlsText.empty()) {
    tls = TMailTls::eNone;
  } else if (SameText(tlsText, "STARTTLS")) {
    tls = TMailTls::eStartTls;
  } else if (SameText(tlsText, "Implicit")) {
    tls = TMailTls::eImplicit;
  }

  fsHost = UnquoteText(ItemValue(aCfg, "Host"));
  if (fsHost.empty()) {
    TMsg::Error("Recipient \"%s\" missing definition \"%s\"!", {Name(), "Host"});
    valid = false;
  }

  const std::string port = ItemValue(aCfg, "Port");
  if (port.empty()) {
    fiPort = tls == TMailTls::eImplicit ? 465 : 25;
  } else {
    fiPort = TryStrToInt(port).value_or(-1);
    // Above 65535 the port would wrap to another one.
    if (fiPort < 1 || fiPort > 65535) {
      TMsg::Error("Recipient \"%s\" invalid definition \"%s\"!", {Name(), "Port"});
      valid = false;
    }
  }

  Wipe(fsPwd);
  fsUser = UnquoteText(ItemValue(aCfg, "User"));
  if (!fsUser.empty()) {
    const std::string passcode = TrimText(UnquoteText(ItemValue(aCfg, "Passcode")));
    if (!passcode.empty()) {
      fsPwd = DecodePasscode(passcode);
    } else {
      fsPwd = UnquoteText(ItemValue(aCfg, "Password"));
    }
  }

  fsFromName = UnquoteText(ItemValue(aCfg, "FromName"));

  fsFromAddress = UnquoteText(ItemValue(aCfg, "FromAddress"));
  if (fsFromAddress.empty()) {
    TMsg::Warning("Recipient \"%s\" undefined \"%s\"!", {Name(), "FromAddress"});
  }

  fsToAddress = UnquoteText(ItemValue(aCfg, "To"));
  if (fsToAddress.empty()) {
    TMsg::Error("Recipient \"%s\" missing definition \"%s\"!", {Name(), "To"});
    valid = false;
  }

  if (!tls) {
    TMsg::Error("Recipient \"%s\" invalid definition \"%s\"!", {Name(), "Tls"});
    valid = false;
  } else {
    fTls = *tls;
  }

  if (!valid)
    return false;
  std::string info;
  if (!fsUser.empty()) {
    info = Format("Recipient \"%s\": To=%s; From=<%s> %s; Host=%s:%d; User=%s",
                  {Name(), fsToAddress, fsFromName, fsFromAddress, fsHost, fiPort, fsUser});
  } else {
    info = Format("Recipient \"%s\": To=%s; From=<%s> %s; Host=%s:%d",
                  {Name(), fsToAddress, fsFromName, fsFromAddress, fsHost, fiPort});
  }
  if (fTls == TMailTls::eStartTls)
    info += "; Tls=STARTTLS";
  if (fTls == TMailTls::eImplicit)
    info += "; Tls=Implicit";
  TMsg::Info(info);
  // AUTH LOGIN sends the password only base64-encoded.
  if (!fsUser.empty() && fTls == TMailTls::eNone) {
    TMsg::Warning("Recipient \"%s\": the password of User %s travels in clear text without Tls",
                  {Name(), fsUser});
  }
  return true;
}

void TRecipientMail::Report(const std::string& aText) {
  fQueue.push_back(aText);
  fnQueueBytes += aText.size();
  DropOldest();
  SendNext();
}

void TRecipientMail::DropOldest() {
  std::size_t dropped = 0;
  // The newest stays even when it alone is over the byte bound.
  while (fQueue.size() > 1 &&
         (fQueue.size() > kMaxQueuedMails || fnQueueBytes > kMaxQueuedMailBytes)) {
    fnQueueBytes -= fQueue.front().size();
    fQueue.pop_front();
    ++dropped;
  }
  if (dropped > 0) {
    TMsg::Warning("Mail to \"%s\": queue full, %d oldest mail(s) dropped", {Name(), dropped});
  }
}

void TRecipientMail::SendNext() {
  if (fSMail) {
    TMsg::Hint("Mail to \"%s\" queued %d!", {Name(), fQueue.size()});
    return;
  }
  while (!fQueue.empty()) {
    fnQueueBytes -= fQueue.front().size();
    const TStringList mail = SplitTextLines(fQueue.front());
    fQueue.pop_front();
    if (mail.empty()) {
      TMsg::Error("Empty mail ignored!");
      continue;
    }
    const std::string& subject = mail.front();
    std::string body;
    for (std::size_t i = 1; i < mail.size(); ++i)
      body += mail[i] + "\r\n";

    TMsg::Hint("Send \"%s\" to \"%s\" subject: \"%s\"", {Name(), fsToAddress, subject});
    std::shared_ptr<TOrvoSimpleMail> worker = TOrvoSimpleMail::Create();
    worker->Host = fsHost;
    worker->Port = static_cast<std::uint16_t>(fiPort & 0xFFFF);
    worker->User = fsUser;
    worker->Pwd = fsPwd;
    worker->FromName = fsFromName;
    worker->FromAddress = fsFromAddress;
    worker->ToAddress = fsToAddress;
    worker->Subject = subject;
    worker->Text = body;
    worker->Tls = fTls;
    worker->OnDone = [this](const std::string& aMsg) { MailDone(aMsg); };
    fSMail = worker;
    try {
      worker->Send();
      return;
    } catch (const std::exception& e) {
      // No thread, no outcome to wait for: this mail is lost, the next one
      // still gets its chance.
      worker->OnDone = nullptr;
      fSMail.reset();
      TMsg::Error("Mail to \"%s\": %s", {Name(), std::string(e.what())});
    }
  }
}

void TRecipientMail::MailDone(const std::string& aMsg) {
  if (!aMsg.empty()) {
    TMsg::Error("Mail to \"%s\": %s", {Name(), aMsg});
  } else {
    TMsg::Trace("Mail to \"%s\" sent", {Name()});
  }
  DetachMailer();
  SendNext();
}

void TRecipientMail::DetachMailer() {
  if (fSMail)
    fSMail->OnDone = nullptr;
  fSMail.reset();
}

}  // namespace tavo
