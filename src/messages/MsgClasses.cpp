#include "messages/MsgClasses.h"

#include <array>

#include "platform/MessageBox.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

TMsgClass* gSingleton = nullptr;

}  // namespace

TMsgTypeId TMsgBase::TextToMsgTypeId(std::string_view aLevel, TMsgTypeId aDefault) {
  static constexpr std::array<std::pair<std::string_view, TMsgTypeId>, 7> kNames = {{
      {"Fatal", eFatal},
      {"Error", eError},
      {"Warning", eWarning},
      {"Hint", eHint},
      {"Info", eInfo},
      {"Trace", eTrace},
      {"Debug", eDebug},
  }};
  for (const auto& [name, level] : kNames) {
    if (SameText(aLevel, name))
      return level;
  }
  return aDefault;
}

TMsgClass* TMsgClass::CreateSingleton() {
  if (!gSingleton)
    gSingleton = new TMsgClass();
  return gSingleton;
}

void TMsgClass::ReleaseSingleton() {
  delete gSingleton;
  gSingleton = nullptr;
}

TMsgClass* TMsgClass::Singleton() {
  return gSingleton;
}

void TMsgClass::NewMsg(TMsgTypeId aType, std::uint32_t aId, const std::string& aText) {
  if (Level > aType)
    return;
  TMsgId id(aId);
  id.SetTypeNo(aType);
  if (OnMsgNotice) {
    Id = id;
    Text = aText;
    OnMsgNotice(nullptr);
    return;
  }
  if (OnNewMsg)
    OnNewMsg(this, id, aText);
}

void TMsg::Emit(TMsgTypeId aType, std::string_view aText, TMsgId aId) {
  std::string text(aText);
  if (TMsgClass* dispatcher = TMsgClass::Singleton()) {
    dispatcher->NewMsg(aType, aId.Value, text);
    return;
  }
  switch (aType) {
    case eDebug:
      ShowMessageBox(TMsgBoxIcon::eInformation, "Debug: " + text);
      break;
    case eTrace:
      ShowMessageBox(TMsgBoxIcon::eInformation, "Trace: " + text);
      break;
    case eWarning:
      ShowMessageBox(TMsgBoxIcon::eWarning, text);
      break;
    case eError:
    case eFatal:
      ShowMessageBox(TMsgBoxIcon::eError, text);
      break;
    default:
      ShowMessageBox(TMsgBoxIcon::eInformation, text);
      break;
  }
}

#define TAVO_MSG_LEVEL(Name, Level)                                 \
  void TMsg::Name(std::string_view aText, TMsgId aId) {             \
    Emit(Level, aText, aId);                                        \
  }                                                                 \
  void TMsg::Name(std::string_view aText, Args aArgs, TMsgId aId) { \
    Emit(Level, Format(aText, aArgs), aId);                         \
  }

TAVO_MSG_LEVEL(Debug, eDebug)
TAVO_MSG_LEVEL(Trace, eTrace)
TAVO_MSG_LEVEL(Info, eInfo)
TAVO_MSG_LEVEL(Hint, eHint)
TAVO_MSG_LEVEL(Warning, eWarning)
TAVO_MSG_LEVEL(Error, eError)
TAVO_MSG_LEVEL(Fatal, eFatal)

#undef TAVO_MSG_LEVEL

}  // namespace tavo
