#pragma once
// The mail message as it goes on the wire: addresses, header text (RFC 2047
// encoded words where plain text will not do), and the composed message
// with its envelope, headers and a body that is 7bit or Base64, with CR LF
// line ends and dot-stuffed for DATA.
//
// Pure functions on the caller's thread; they touch nothing shared (the
// Date header reads the system clock, the Message-ID a random source and,
// without a sender's domain, the host name). Bad input throws Exception
// with a text that names it; no control character of the input reaches a
// header or the envelope.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace tavo {

struct TMailAddress {
  std::string Name;     // display name, may be empty
  std::string Address;  // the bare address
};

// "addr", "<addr>", "Name <addr>" or "\"Name, quoted\" <addr>". Throws
// Exception for an empty address or one with blanks, controls or brackets.
TMailAddress ParseMailAddress(std::string_view aText);
// Addresses separated by "," (not inside quotes or angle brackets); empty
// items are skipped.
std::vector<TMailAddress> ParseMailAddressList(std::string_view aText);
// Header text as it goes on the wire: controls become blanks; text with
// characters outside ASCII, a "=?" or a length that no header line may
// carry becomes RFC 2047 encoded words (UTF-8, Base64), folded.
std::string EncodeHeaderText(std::string_view aText);
// A mailbox for From or To: "addr" or "Name <addr>" with the name quoted or
// encoded as needed.
std::string FormatMailbox(const TMailAddress& aAddress);

struct TMailMessage {
  std::string Sender;                   // for MAIL FROM, may be empty
  std::vector<std::string> Recipients;  // for RCPT TO
  std::string Data;                     // dot-stuffed, ending in ".\r\n"
};

// The message from aFrom (an empty address gives an empty group named
// after the sender, or "Tavo") to the addresses in aTo, with aSubject and
// the body aText. aUtf8Only: the charset is UTF-8 whatever the text;
// otherwise us-ascii as long as the body is ASCII. Throws Exception when aTo
// holds no address or a bad one.
TMailMessage ComposeMessage(const TMailAddress& aFrom, const std::string& aTo,
                            const std::string& aSubject, const std::string& aText, bool aUtf8Only);

// The Date header's value for a moment: "Tue, 05 Mar 2024 09:07:03 +0100".
std::string DateHeaderValue(const TZonedDateTime& aTime);
// A fresh "<time.random@domain>": the domain is aSender's, else the host
// name, kept to the characters a domain may hold ("localhost" if none).
std::string MessageIdValue(const std::string& aSender);

// Text with its controls (CR and LF included) turned into blanks, so it can
// start no header line and no SMTP command; invalid UTF-8 is repaired.
std::string NoControls(std::string_view aText);
// Base64 of aBytes, in one line.
std::string Base64(std::string_view aBytes);

}  // namespace tavo
