#include "messages/MsgUtils.h"

#include <array>
#include <cstdio>

#include "messages/Format.h"

namespace tavo {

std::string MsgLineText(TMsgId aId, const std::string& aText) {
  static constexpr std::array<const char*, 8> kPrefixes = {
      nullptr, "Debug: ", "Trace: ", "Info:  ", "Hint:  ", "Warning: ", "Error: ", "Fatal: "};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(aText.size());
  auto escape = [&text](unsigned aCode) {
    text += "\\x";
    text += kHex[(aCode >> 4) & 0x0F];
    text += kHex[aCode & 0x0F];
  };
  for (std::size_t i = 0; i < aText.size(); ++i) {
    const auto c = static_cast<unsigned char>(aText[i]);
    if (c == '\r' && i + 1 < aText.size() && aText[i + 1] == '\n') {
      text += "||";
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      escape(c);
    } else if (c == 0xC2 && i + 1 < aText.size() &&
               static_cast<unsigned char>(aText[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(aText[i + 1]) <= 0x9F) {
      escape(static_cast<unsigned char>(aText[++i]));  // U+0080-U+009F in UTF-8
    } else {
      text += aText[i];
    }
  }
  const std::uint8_t type = aId.TypeNo();
  if (type == 0 || type > 7)
    return Format("[%d] %s", {type, text});
  return kPrefixes[type] + text;
}

std::string MsgTimeStamp(const TLocalDateTime& aTime) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d.%03d", aTime.Day, aTime.Month,
                aTime.Year, aTime.Hour, aTime.Minute, aTime.Second, aTime.Millisecond);
  return buf;
}

std::string FormatMsgLine(TMsgId aId, const std::string& aText, const TLocalDateTime& aTime) {
  return MsgTimeStamp(aTime) + ' ' + MsgLineText(aId, aText);
}

}  // namespace tavo
