#pragma once
// Message levels and message numbers.

#include <cstdint>

namespace tavo {

// Levels compare by their numbers; Hint ranks above Info.
enum TMsgTypeId : std::uint8_t {
  eNone = 0,
  eDebug = 1,
  eTrace = 2,
  eInfo = 3,
  eHint = 4,
  eWarning = 5,
  eError = 6,
  eFatal = 7,
};

// A 32-bit message number. The emitter fills the low 24 bits (module,
// operation, detail); the dispatcher puts the level into the top byte.
struct TMsgId {
  std::uint32_t Value = 0;

  constexpr TMsgId() = default;
  constexpr explicit TMsgId(std::uint32_t aValue) : Value(aValue) {}

  constexpr std::uint8_t Param() const { return static_cast<std::uint8_t>(Value); }
  constexpr std::uint8_t MethodeNo() const { return static_cast<std::uint8_t>(Value >> 8); }
  constexpr std::uint8_t UnitNo() const { return static_cast<std::uint8_t>(Value >> 16); }
  constexpr std::uint8_t TypeNo() const { return static_cast<std::uint8_t>(Value >> 24); }
  constexpr void SetTypeNo(std::uint8_t aType) {
    Value = (Value & 0x00FFFFFFu) | (static_cast<std::uint32_t>(aType) << 24);
  }
};

}  // namespace tavo
