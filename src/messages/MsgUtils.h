#pragma once
// The text form of a message line: "dd.mm.yyyy hh:nn:ss.zzz", a blank, the
// level prefix and the text, with every CR LF of the text shown as "||" and
// every other control character escaped, so that no text (least of all one
// received from the network) can start a line of its own or steer a
// terminal.

#include <string>

#include "messages/MsgTypes.h"
#include "platform/Clock.h"

namespace tavo {

// The level prefix and the text: "Info:  text", or "[9] text" for a level
// number of 0 or above 7. CR LF pairs become "||"; every other byte below
// 0x20 (a lone CR or LF, TAB, ESC, NUL), 0x7F and the C1 controls
// U+0080-U+009F become "\xNN" with two upper-case hex digits.
std::string MsgLineText(TMsgId aId, const std::string& aText);

// "dd.mm.yyyy hh:nn:ss.zzz"
std::string MsgTimeStamp(const TLocalDateTime& aTime);

// The whole line without its line end, stamped with aTime.
std::string FormatMsgLine(TMsgId aId, const std::string& aText, const TLocalDateTime& aTime);

}  // namespace tavo
