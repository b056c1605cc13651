#pragma once
// EMsg: an error with a message number, raised by the log file.

#include <cstdint>
#include <string>

#include "messages/MsgTypes.h"
#include "platform/Errors.h"

namespace tavo {

class EMsg : public Exception {
 public:
  // Message "%.6x:%d" (number, value); Text stays empty.
  EMsg(std::uint32_t aId, std::int32_t aValue);
  // Message "%s\r\nID: %.6x:%d" (text, number, value).
  EMsg(const std::string& aText, std::uint32_t aId, std::int32_t aValue);

  TMsgId Id;
  std::int32_t Value;
  std::string Text;
};

}  // namespace tavo
