#include "messages/MsgExceptions.h"

#include "messages/Format.h"

namespace tavo {

EMsg::EMsg(std::uint32_t aId, std::int32_t aValue)
    : Exception(Format("%.6x:%d", {aId, aValue})), Id(aId), Value(aValue) {}

EMsg::EMsg(const std::string& aText, std::uint32_t aId, std::int32_t aValue)
    : Exception(Format("%s\r\nID: %.6x:%d", {aText, aId, aValue})),
      Id(aId),
      Value(aValue),
      Text(aText) {}

}  // namespace tavo
