#pragma once
// The message dispatcher and its facade. Code emits messages through the
// stateless facade TMsg; the one process-wide dispatcher TMsgClass drops
// those below its Level and passes the rest to its sink OnNewMsg. Without a
// dispatcher the facade shows a message box instead (platform/MessageBox.h).
//
// Main thread only: nothing here takes a lock, and the sink runs inside the
// emitting call, so when TMsg::Info returns the line has been written.
// Worker threads hand their work to the main thread before they emit.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "messages/Format.h"
#include "messages/MsgTypes.h"

namespace tavo {

class TMsgBase;

// The sink: the dispatcher, the number (level in TypeNo, emitter's number in
// the low 24 bits) and the text as emitted.
using TNotifyMsgEvent =
    std::function<void(TMsgBase* aSender, TMsgId aId, const std::string& aText)>;

class TMsgBase {
 public:
  virtual ~TMsgBase() = default;
  virtual void NewMsg(TMsgTypeId aType, std::uint32_t aId, const std::string& aText) = 0;

  // Matches Fatal, Error, Warning, Hint, Info, Trace, Debug ignoring ASCII
  // case; any other text (also "" and "None") gives aDefault.
  static TMsgTypeId TextToMsgTypeId(std::string_view aLevel, TMsgTypeId aDefault);

  TNotifyMsgEvent OnNewMsg;
};

class TMsgClass : public TMsgBase {
 public:
  static TMsgClass* CreateSingleton();  // the existing one if there is one
  static void ReleaseSingleton();
  static TMsgClass* Singleton();  // nullptr when none exists

  void NewMsg(TMsgTypeId aType, std::uint32_t aId, const std::string& aText) override;

  // Notice mode: when set, the last message is stored in Id and Text and
  // this is called instead of OnNewMsg.
  std::function<void(void* aSender)> OnMsgNotice;
  TMsgId Id;
  std::string Text;
  TMsgTypeId Level = eNone;
  std::int32_t Flag = 0;

 private:
  TMsgClass() = default;
};

// The facade. The message number is a TMsgId, never a plain integer, so a
// one-argument list such as TMsg::Info("%d", {n}) always means the format
// form: TMsg::Error("text", TMsgId(0x03010A)) passes a number.
class TMsg {
 public:
  using Args = std::initializer_list<TFormatArg>;

  static void Debug(std::string_view aText, TMsgId aId = TMsgId());
  static void Debug(std::string_view aText, Args aArgs, TMsgId aId = TMsgId());
  static void Trace(std::string_view aText, TMsgId aId = TMsgId());
  static void Trace(std::string_view aText, Args aArgs, TMsgId aId = TMsgId());
  static void Info(std::string_view aText, TMsgId aId = TMsgId());
  static void Info(std::string_view aText, Args aArgs, TMsgId aId = TMsgId());
  static void Hint(std::string_view aText, TMsgId aId = TMsgId());
  static void Hint(std::string_view aText, Args aArgs, TMsgId aId = TMsgId());
  static void Warning(std::string_view aText, TMsgId aId = TMsgId());
  static void Warning(std::string_view aText, Args aArgs, TMsgId aId = TMsgId());
  static void Error(std::string_view aText, TMsgId aId = TMsgId());
  static void Error(std::string_view aText, Args aArgs, TMsgId aId = TMsgId());
  static void Fatal(std::string_view aText, TMsgId aId = TMsgId());
  static void Fatal(std::string_view aText, Args aArgs, TMsgId aId = TMsgId());

  // The common path of all of the above.
  static void Emit(TMsgTypeId aType, std::string_view aText, TMsgId aId);
};

}  // namespace tavo
