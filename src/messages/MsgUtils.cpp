#include "messages/MsgUtils.h"

#include <array>

#include "messages/Format.h"
#include "platform/TextUtils.h"

namespace tavo {

std::string MsgLineText(TMsgId aId, const std::string& aText) {
  static constexpr std::array<const char*, 8> kPrefixes = {
      nullptr, "Debug: ", "Trace: ", "Info:  ", "Hint:  ", "Warning: ", "Error: ", "Fatal: "};
  std::string text;
  text.reserve(aText.size());
  auto escape = [&text](unsigned aCode) {
    text += "\\x";
    const char byte = static_cast<char>(aCode);
    text += HexText(std::string_view(&byte, 1));
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
  // Written digit by digit: it is made for every line.
  std::string out = "dd.mm.yyyy hh:nn:ss.zzz";
  auto put = [&out](std::size_t aAt, int aValue, int aDigits) {
    for (int i = aDigits - 1; i >= 0; --i) {
      out[aAt + static_cast<std::size_t>(i)] = static_cast<char>('0' + aValue % 10);
      aValue /= 10;
    }
  };
  put(0, aTime.Day, 2);
  put(3, aTime.Month, 2);
  put(6, aTime.Year, 4);
  put(11, aTime.Hour, 2);
  put(14, aTime.Minute, 2);
  put(17, aTime.Second, 2);
  put(20, aTime.Millisecond, 3);
  return out;
}

std::string FormatMsgLine(TMsgId aId, const std::string& aText, const TLocalDateTime& aTime) {
  return MsgTimeStamp(aTime) + ' ' + MsgLineText(aId, aText);
}

}  // namespace tavo
