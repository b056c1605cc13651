#include "recipients/MailMessage.h"

#include <nettle/base64.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

#include "platform/Errors.h"
#include "platform/Network.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

// Blanks and tabs around an address; controls stay, for the address check
// to refuse.
constexpr std::string_view kBlanks = " \t";
// Header lines may not exceed 998 octets; keep well below.
constexpr std::size_t kMaxPlainHeaderText = 900;
// RFC 2047: an encoded word is at most 75 characters; "=?UTF-8?B?" and "?="
// take 12, leaving 60 Base64 characters for 45 bytes.
constexpr std::size_t kEncodedWordBytes = 45;
constexpr std::size_t kMaxBodyLine = 998;

bool IsAscii(std::string_view aText) {
  return std::all_of(aText.begin(), aText.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Length of the UTF-8 sequence that starts with aLead (1 for stray bytes).
std::size_t Utf8SeqLength(unsigned char aLead) {
  if (aLead >= 0xF0)
    return 4;
  if (aLead >= 0xE0)
    return 3;
  if (aLead >= 0xC0)
    return 2;
  return 1;
}

std::string EncodedWords(std::string_view aText) {
  std::string out;
  std::size_t pos = 0;
  while (pos < aText.size()) {
    std::size_t end = pos;
    while (end < aText.size()) {
      const std::size_t len = Utf8SeqLength(static_cast<unsigned char>(aText[end]));
      if (end + len - pos > kEncodedWordBytes)
        break;
      end += len;
    }
    if (!out.empty())
      out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(aText.substr(pos, end - pos)) + "?=";
    pos = end;
  }
  return out;
}

// Every line ends in CR LF, whatever ended it before.
std::string NormalizeLineEnds(std::string_view aText) {
  std::string out;
  out.reserve(aText.size() + 2);
  for (std::size_t i = 0; i < aText.size(); ++i) {
    const char c = aText[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < aText.size() && aText[i + 1] == '\n')
        ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  if (!out.empty() && !out.ends_with("\r\n"))
    out += "\r\n";
  return out;
}

bool FitsSevenBit(std::string_view aBody) {
  std::size_t lineLength = 0;
  for (char c : aBody) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || b == 0)
      return false;
    if (c == '\n') {
      lineLength = 0;
    } else if (++lineLength > kMaxBodyLine + 1) {  // + the CR
      return false;
    }
  }
  return true;
}

std::string Base64Lines(std::string_view aBytes) {
  const std::string flat = Base64(aBytes);
  std::string out;
  for (std::size_t pos = 0; pos < flat.size(); pos += 76)
    out += flat.substr(pos, 76) + "\r\n";
  return out;
}

// A line that starts with "." gets another one, so that the server never
// takes it for the end of the data.
std::string DotStuff(std::string_view aData) {
  std::string out;
  out.reserve(aData.size() + 16);
  bool lineStart = true;
  for (char c : aData) {
    if (lineStart && c == '.')
      out += '.';
    out += c;
    lineStart = c == '\n';
  }
  return out;
}

// The domain part of the id: the sender's domain, else the host name, kept
// to the characters a domain may hold.
std::string MessageIdDomain(const std::string& aSender) {
  std::string domain;
  const auto at = aSender.rfind('@');
  if (at != std::string::npos)
    domain = aSender.substr(at + 1);
  if (domain.empty())
    domain = HostName();
  std::string clean;
  for (char c : domain) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
        c == '-') {
      clean += c;
    }
  }
  return clean.empty() ? "localhost" : clean;
}

}  // namespace

std::string NoControls(std::string_view aText) {
  std::string out = SanitizeUtf8(aText);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F)
      c = ' ';
  }
  return out;
}

std::string Base64(std::string_view aBytes) {
  std::string out(BASE64_ENCODE_RAW_LENGTH(aBytes.size()), '\0');
  base64_encode_raw(out.data(), aBytes.size(),
                    reinterpret_cast<const std::uint8_t*>(aBytes.data()));
  return out;
}

// --- Addresses and header text -------------------------------------------------

TMailAddress ParseMailAddress(std::string_view aText) {
  TMailAddress result;
  const std::string text = TrimChars(aText, kBlanks);
  const auto lt = text.rfind('<');
  if (lt != std::string::npos) {
    const auto gt = text.find('>', lt);
    if (gt == std::string::npos)
      throw Exception("Invalid mail address \"" + NoControls(text) + "\"");
    result.Address = TrimChars(std::string_view(text).substr(lt + 1, gt - lt - 1), kBlanks);
    std::string name = TrimChars(std::string_view(text).substr(0, lt), kBlanks);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
      std::string unquoted;
      for (std::size_t i = 1; i + 1 < name.size(); ++i) {
        if (name[i] == '\\' && i + 2 < name.size())
          ++i;
        unquoted += name[i];
      }
      name = unquoted;
    }
    result.Name = name;
  } else {
    result.Address = text;
  }
  const bool bad = result.Address.empty() ||
                   std::any_of(result.Address.begin(), result.Address.end(), [](char c) {
                     const auto b = static_cast<unsigned char>(c);
                     return b <= 0x20 || b == 0x7F || c == '<' || c == '>' || c == ',';
                   });
  if (bad)
    throw Exception("Invalid mail address \"" + NoControls(text) + "\"");
  return result;
}

std::vector<TMailAddress> ParseMailAddressList(std::string_view aText) {
  std::vector<TMailAddress> list;
  std::string item;
  bool quoted = false;
  bool angled = false;
  auto flush = [&] {
    if (!TrimChars(item, kBlanks).empty())
      list.push_back(ParseMailAddress(item));
    item.clear();
  };
  for (std::size_t i = 0; i < aText.size(); ++i) {
    const char c = aText[i];
    if (quoted && c == '\\' && i + 1 < aText.size()) {
      item += c;
      item += aText[++i];
      continue;
    }
    if (c == '"' && !angled)
      quoted = !quoted;
    if (!quoted && c == '<')
      angled = true;
    if (!quoted && c == '>')
      angled = false;
    if (c == ',' && !quoted && !angled) {
      flush();
      continue;
    }
    item += c;
  }
  flush();
  return list;
}

std::string EncodeHeaderText(std::string_view aText) {
  const std::string text = NoControls(aText);
  if (IsAscii(text) && text.find("=?") == std::string::npos && text.size() <= kMaxPlainHeaderText) {
    return text;
  }
  return EncodedWords(text);
}

std::string FormatMailbox(const TMailAddress& aAddress) {
  if (aAddress.Name.empty())
    return aAddress.Address;
  const std::string name = NoControls(aAddress.Name);
  std::string shown = EncodeHeaderText(name);
  if (shown == name && name.find_first_of("()<>[]:;@\\,.\"") != std::string::npos) {
    shown = "\"";
    for (char c : name) {
      if (c == '"' || c == '\\')
        shown += '\\';
      shown += c;
    }
    shown += '"';
  }
  return shown + " <" + aAddress.Address + ">";
}

// --- Date and message id -------------------------------------------------------

std::string DateHeaderValue(const TZonedDateTime& aTime) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const TLocalDateTime& t = aTime.Local;
  const int offset = aTime.UtcOffsetMinutes;
  const int absOffset = offset < 0 ? -offset : offset;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d",
                kDays[t.DayOfWeek % 7], t.Day, kMonths[t.Month - 1], t.Year, t.Hour, t.Minute,
                t.Second, offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
  return buf;
}

std::string MessageIdValue(const std::string& aSender) {
  std::random_device rd;
  std::mt19937_64 gen((static_cast<std::uint64_t>(rd()) << 32) ^ rd());
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%llx.%016llx", static_cast<unsigned long long>(ms),
                static_cast<unsigned long long>(gen()));
  return std::string("<") + buf + "@" + MessageIdDomain(aSender) + ">";
}

// --- The message -----------------------------------------------------------------

TMailMessage ComposeMessage(const TMailAddress& aFrom, const std::string& aTo,
                            const std::string& aSubject, const std::string& aText, bool aUtf8Only) {
  TMailMessage msg;
  msg.Sender = aFrom.Address;
  const std::vector<TMailAddress> to = ParseMailAddressList(aTo);
  if (to.empty())
    throw Exception("No recipient address in \"" + NoControls(aTo) + "\"");

  std::string toHeader;
  for (const TMailAddress& a : to) {
    msg.Recipients.push_back(a.Address);
    if (!toHeader.empty())
      toHeader += ",\r\n ";
    toHeader += FormatMailbox(a);
  }

  std::string fromHeader;
  if (aFrom.Address.empty()) {
    // No address to show: an empty group is the valid form of that.
    fromHeader = EncodeHeaderText(aFrom.Name.empty() ? std::string("Tavo") : aFrom.Name) + ":;";
  } else {
    fromHeader = FormatMailbox(aFrom);
  }

  const std::string body = NormalizeLineEnds(SanitizeUtf8(aText));
  const bool ascii = IsAscii(body);
  const std::string charset = aUtf8Only || !ascii ? "UTF-8" : "us-ascii";
  const bool sevenBit = FitsSevenBit(body);

  std::string data;
  data += "Date: " + DateHeaderValue(SystemZonedTime()) + "\r\n";
  data += "From: " + fromHeader + "\r\n";
  data += "To: " + toHeader + "\r\n";
  data += "Subject: " + EncodeHeaderText(aSubject) + "\r\n";
  data += "Message-ID: " + MessageIdValue(aFrom.Address) + "\r\n";
  data += "MIME-Version: 1.0\r\n";
  data += "Content-Type: text/plain; charset=" + charset + "\r\n";
  data += std::string("Content-Transfer-Encoding: ") + (sevenBit ? "7bit" : "base64") + "\r\n";
  data += "\r\n";
  data += sevenBit ? body : Base64Lines(body);
  msg.Data = DotStuff(data) + ".\r\n";
  return msg;
}

}  // namespace tavo
