#include "snmp/BerEncoding.h"

#include <charconv>

namespace tavo {
namespace {

std::uint8_t ByteAt(std::string_view aBuffer, std::size_t aPos) {
  return static_cast<std::uint8_t>(aBuffer[aPos]);
}

// Digits only, at most 4294967295; anything else is not an arc.
bool ParseArc(std::string_view aText, std::uint32_t& aValue) {
  if (aText.empty())
    return false;
  for (char c : aText) {
    if (c < '0' || c > '9')
      return false;
  }
  const auto r = std::from_chars(aText.data(), aText.data() + aText.size(), aValue);
  return r.ec == std::errc() && r.ptr == aText.data() + aText.size();
}

// Cuts the next part off the front of aText, up to the next '.'.
std::string_view NextPart(std::string_view& aText) {
  const std::size_t dot = aText.find('.');
  std::string_view part = aText.substr(0, dot);
  aText = dot == std::string_view::npos ? std::string_view() : aText.substr(dot + 1);
  return part;
}

std::string_view TrimBlanks(std::string_view aText) {
  while (!aText.empty() && aText.front() == ' ')
    aText.remove_prefix(1);
  while (!aText.empty() && aText.back() == ' ')
    aText.remove_suffix(1);
  return aText;
}

std::string ContentToText(std::string_view aContent, std::int32_t aTag) {
  switch (aTag) {
    case kBerBoolean:
    case kBerInteger:
    case kBerEnumerated: {
      if (aContent.empty())
        return "0";
      std::uint32_t acc = (ByteAt(aContent, 0) & 0x80) ? 0xFFFFFFFFu : 0u;
      for (char c : aContent)
        acc = (acc << 8) | static_cast<std::uint8_t>(c);
      return std::to_string(static_cast<std::int32_t>(acc));
    }
    case kBerCounter32:
    case kBerGauge32:
    case kBerTimeTicks: {
      std::uint32_t acc = 0;
      for (char c : aContent)
        acc = (acc << 8) | static_cast<std::uint8_t>(c);
      return std::to_string(acc);
    }
    case kBerNull:
      return std::string();
    case kBerObjectId:
      return OidBytesToText(aContent);
    case kBerIpAddress: {
      std::string text;
      for (std::size_t i = 0; i < aContent.size(); ++i) {
        if (i > 0)
          text += '.';
        text += std::to_string(ByteAt(aContent, i));
      }
      return text;
    }
    default:
      return std::string(aContent);
  }
}

thread_local std::uint64_t tItemReads = 0;

std::string ReadItem(std::string_view aBuffer, std::size_t& aPos, std::int32_t& aTag,
                     bool aCopyConstructed) {
  ++tItemReads;
  aTag = kBerNull;
  if (aPos > aBuffer.size() || aBuffer.size() - aPos < 2)
    return std::string();
  aTag = ByteAt(aBuffer, aPos);
  ++aPos;
  const std::uint32_t length = BerDecodeLength(aBuffer, aPos);
  const std::size_t remaining = aBuffer.size() - aPos;
  if (length > remaining)
    return std::string();
  const std::string_view content = aBuffer.substr(aPos, length);
  if (aTag & kBerConstructed)
    return aCopyConstructed ? std::string(content) : std::string();
  aPos += length;
  return ContentToText(content, aTag);
}

}  // namespace

std::string BerEncodeLength(std::uint32_t aLength) {
  if (aLength < 0x80)
    return std::string(1, static_cast<char>(aLength));
  std::string bytes;
  for (std::uint32_t v = aLength; v != 0; v >>= 8) {
    bytes.insert(bytes.begin(), static_cast<char>(v & 0xFF));
  }
  bytes.insert(bytes.begin(), static_cast<char>(0x80 + bytes.size()));
  return bytes;
}

std::uint32_t BerDecodeLength(std::string_view aBuffer, std::size_t& aPos) {
  if (aPos >= aBuffer.size())
    return 0;
  const std::uint8_t first = ByteAt(aBuffer, aPos++);
  if (first < 0x80)
    return first;
  std::uint32_t length = 0;
  for (int n = first - 0x80; n > 0; --n) {
    if (aPos >= aBuffer.size())
      return 0;
    length = (length << 8) | ByteAt(aBuffer, aPos++);
  }
  return length;
}

std::string BerEncodeInteger(std::int32_t aValue) {
  const auto u = static_cast<std::uint32_t>(aValue);
  std::string bytes = {static_cast<char>(u >> 24), static_cast<char>(u >> 16),
                       static_cast<char>(u >> 8), static_cast<char>(u)};
  // Drop a leading byte while the next one still carries the same sign.
  while (bytes.size() > 1) {
    const auto b0 = static_cast<std::uint8_t>(bytes[0]);
    const auto b1 = static_cast<std::uint8_t>(bytes[1]);
    if ((b0 == 0x00 && !(b1 & 0x80)) || (b0 == 0xFF && (b1 & 0x80))) {
      bytes.erase(0, 1);
    } else {
      break;
    }
  }
  return bytes;
}

std::string BerEncodeUnsigned(std::uint32_t aValue) {
  std::string bytes;
  std::uint32_t v = aValue;
  do {
    bytes.insert(bytes.begin(), static_cast<char>(v & 0xFF));
    v >>= 8;
  } while (v != 0);
  if (static_cast<std::uint8_t>(bytes[0]) & 0x80)
    bytes.insert(bytes.begin(), '\0');
  return bytes;
}

std::string BerEncodeSubId(std::uint32_t aValue) {
  std::string bytes(1, static_cast<char>(aValue & 0x7F));
  for (std::uint32_t v = aValue >> 7; v != 0; v >>= 7) {
    bytes.insert(bytes.begin(), static_cast<char>(0x80 | (v & 0x7F)));
  }
  return bytes;
}

std::uint32_t BerDecodeSubId(std::string_view aBuffer, std::size_t& aPos) {
  std::uint32_t value = 0;
  while (aPos < aBuffer.size()) {
    const std::uint8_t b = ByteAt(aBuffer, aPos++);
    value = (value << 7) + (b & 0x7F);
    if (!(b & 0x80))
      break;
  }
  return value;
}

std::string OidTextToBytes(std::string_view aText) {
  // Every '.' separates two arcs, so a text with n dots has n + 1 arcs.
  std::string_view rest = aText;
  std::uint32_t first = 0;
  std::uint32_t second = 0;
  bool more = true;
  auto nextArc = [&]() {
    more = rest.find('.') != std::string_view::npos;
    std::uint32_t arc = 0;
    if (!ParseArc(NextPart(rest), arc))
      arc = 0;
    return arc;
  };
  first = nextArc();
  if (more)
    second = nextArc();
  std::string bytes = BerEncodeSubId(first * 40u + second);
  while (more)
    bytes += BerEncodeSubId(nextArc());
  return bytes;
}

std::string OidBytesToText(std::string_view aBytes) {
  std::string text;
  text.reserve(aBytes.size() * 3);
  std::size_t pos = 0;
  bool first = true;
  char buf[16];
  auto append = [&](std::uint32_t aArc) {
    text.append(buf, std::to_chars(buf, buf + sizeof buf, aArc).ptr);
  };
  while (pos < aBytes.size()) {
    const std::uint32_t v = BerDecodeSubId(aBytes, pos);
    if (first) {
      append(v / 40);
      text += '.';
      append(v % 40);
      first = false;
    } else {
      text += '.';
      append(v);
    }
  }
  return text;
}

std::string IpTextToBytes(std::string_view aText) {
  std::string bytes(4, '\0');
  std::string_view rest = aText;
  for (int i = 0; i < 4; ++i) {
    const std::string_view part = TrimBlanks(NextPart(rest));
    std::int32_t value = 0;
    const auto r = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size())
      value = 0;
    bytes[static_cast<std::size_t>(i)] = static_cast<char>(value & 0xFF);
  }
  return bytes;
}

std::string BerMakeItem(std::string_view aContent, std::int32_t aTag) {
  std::string item(1, static_cast<char>(aTag & 0xFF));
  item += BerEncodeLength(static_cast<std::uint32_t>(aContent.size()));
  item += aContent;
  return item;
}

std::uint64_t BerItemReadCount() {
  return tItemReads;
}

std::string BerReadItem(std::string_view aBuffer, std::size_t& aPos, std::int32_t& aTag) {
  return ReadItem(aBuffer, aPos, aTag, true);
}

std::string BerReadItemShallow(std::string_view aBuffer, std::size_t& aPos, std::int32_t& aTag) {
  return ReadItem(aBuffer, aPos, aTag, false);
}

}  // namespace tavo
