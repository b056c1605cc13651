#pragma once
// Tavo's own SNMPv3 engine, the authoritative side of an inform: its engine
// ID, its boots (raised at every start and kept in a small file beside the
// log file, so that a restart never reuses them) and its time (seconds
// since this start).
//
// The engine file is hostile input like any other: it is read only when it
// is a regular file of at most kMaxEngineFileBytes, and taken only when
// every line is what it should be. Its form is two lines:
//   EngineID=<hexadecimal>
//   Boots=<decimal>
//
// Plain functions; any thread. Failures throw Exception with the reason.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavo {

// RFC 3414 2.2.2: boots stop here, and an engine at the limit answers every
// authenticated message as outside its time window.
constexpr std::int32_t kMaxEngineBoots = 2147483647;
constexpr std::size_t kMaxEngineFileBytes = 1024;
// RFC 3411 SnmpEngineID: 5 to 32 octets.
constexpr std::size_t kMinEngineIdBytes = 5;
constexpr std::size_t kMaxEngineIdBytes = 32;
// The enterprise number in the engine IDs Tavo makes.
constexpr std::uint32_t kEngineEnterprise = 52814;

struct TSnmpEngineState {
  std::string EngineId;  // the octets
  std::int32_t Boots = 0;
};

// The octets of a configured engine ID: hexadecimal digit pairs, an optional
// leading "0x", 5 to 32 octets. Nothing otherwise.
std::optional<std::string> EngineIdFromText(std::string_view aText);
// A new engine ID in RFC 3411 format 5: the enterprise number with the top
// bit set, the format octet 5, then eight random octets.
std::string NewEngineId();

std::string EngineFileText(const TSnmpEngineState& aState);
// Nothing when the text is not exactly an engine file: both lines, a valid
// engine ID, boots from 0 to kMaxEngineBoots.
std::optional<TSnmpEngineState> ParseEngineFile(std::string_view aText);

// The engine file's state: nothing when there is no file at aPath. Throws
// when it cannot be read or is not an engine file.
std::optional<TSnmpEngineState> ReadEngineFile(const std::string& aPath);
// Writes the state (through a new file renamed over the old one, so a
// failed write leaves the old one whole). Throws when it cannot.
void WriteEngineFile(const std::string& aPath, const TSnmpEngineState& aState);

// The engine of this start: the file's state (a new engine without a file),
// aConfiguredId in place of its engine ID when it is not empty, boots one
// higher (never above kMaxEngineBoots). The new boots are written before
// this returns; a file that cannot be read or written throws, and then no
// engine may be used.
TSnmpEngineState StartEngine(const std::string& aPath, const std::string& aConfiguredId);

}  // namespace tavo
