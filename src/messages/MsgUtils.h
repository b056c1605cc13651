#pragma once
// The text form of a message line: "dd.mm.yyyy hh:nn:ss.zzz", a blank, the
// level prefix and the text, with every CR LF of the text shown as "||".

#include <string>

#include "messages/MsgTypes.h"
#include "platform/Clock.h"

namespace tavo {

// The level prefix and the text: "Info:  text", or "[9] text" for a level
// number of 0 or above 7. CR LF pairs become "||"; a lone CR or LF stays.
std::string MsgLineText(TMsgId aId, const std::string& aText);

// "dd.mm.yyyy hh:nn:ss.zzz"
std::string MsgTimeStamp(const LocalDateTime& aTime);

// The whole line without its line end, stamped with aTime.
std::string FormatMsgLine(TMsgId aId, const std::string& aText, const LocalDateTime& aTime);

}  // namespace tavo
