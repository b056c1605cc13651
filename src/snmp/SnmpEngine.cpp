#include "snmp/SnmpEngine.h"

#include <random>

#include "platform/AppendFile.h"
#include "platform/Files.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

// One "Name=value" line of the file, without its line break.
std::optional<std::string_view> TakeLine(std::string_view& aText, std::string_view aName) {
  const std::size_t end = aText.find('\n');
  std::string_view line = aText.substr(0, end);
  aText.remove_prefix(end == std::string_view::npos ? aText.size() : end + 1);
  if (!line.empty() && line.back() == '\r')
    line.remove_suffix(1);
  if (line.substr(0, aName.size()) != aName || line.substr(aName.size(), 1) != "=")
    return std::nullopt;
  return line.substr(aName.size() + 1);
}

}  // namespace

std::optional<std::string> EngineIdFromText(std::string_view aText) {
  if (aText.substr(0, 2) == "0x" || aText.substr(0, 2) == "0X")
    aText.remove_prefix(2);
  if (aText.size() > 2 * kMaxEngineIdBytes)
    return std::nullopt;
  std::optional<std::string> bytes = HexToBytes(aText);
  if (!bytes || bytes->size() < kMinEngineIdBytes)
    return std::nullopt;
  return bytes;
}

std::string NewEngineId() {
  std::string id;
  const std::uint32_t enterprise = kEngineEnterprise | 0x80000000u;
  for (int shift = 24; shift >= 0; shift -= 8)
    id += static_cast<char>((enterprise >> shift) & 0xFF);
  id += '\x05';
  std::random_device random;
  for (int i = 0; i < 8; ++i)
    id += static_cast<char>(random() & 0xFF);
  return id;
}

std::string EngineFileText(const TSnmpEngineState& aState) {
  return "EngineID=" + HexText(aState.EngineId) + "\nBoots=" + std::to_string(aState.Boots) + "\n";
}

std::optional<TSnmpEngineState> ParseEngineFile(std::string_view aText) {
  const auto id = TakeLine(aText, "EngineID");
  const auto boots = TakeLine(aText, "Boots");
  if (!id || !boots || !aText.empty() || boots->empty() || boots->size() > 10)
    return std::nullopt;
  std::int64_t n = 0;
  for (char c : *boots) {
    if (c < '0' || c > '9')
      return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n > kMaxEngineBoots)
    return std::nullopt;
  // The file holds hexadecimal only, without the prefix a configured one may have.
  if (id->substr(0, 2) == "0x")
    return std::nullopt;
  std::optional<std::string> engineId = EngineIdFromText(*id);
  if (!engineId)
    return std::nullopt;
  return TSnmpEngineState{*engineId, static_cast<std::int32_t>(n)};
}

std::optional<TSnmpEngineState> ReadEngineFile(const std::string& aPath) {
  if (!FileSystem().Exists(aPath) && !DirectoryExists(aPath))
    return std::nullopt;
  std::string bytes;
  try {
    bytes = ReadFileBytes(aPath, kMaxEngineFileBytes);
  } catch (const std::exception& e) {
    throw Exception("cannot read " + aPath + ": " + e.what());
  }
  std::optional<TSnmpEngineState> state = ParseEngineFile(bytes);
  if (!state)
    throw Exception(aPath + " is not an engine file");
  return state;
}

void WriteEngineFile(const std::string& aPath, const TSnmpEngineState& aState) {
  const std::string fresh = aPath + ".new";
  IFileSystem& files = FileSystem();
  try {
    TAppendOptions options;
    options.NoFollow = true;
    options.NonBlocking = true;
    options.CreateMode = 0600;
    options.OwnRegularFileOnly = true;
    {
      std::unique_ptr<IAppendFile> file = files.OpenAppend(fresh, options);
      file->Truncate();
      file->Append(EngineFileText(aState));
    }
    int error = 0;
    if (!files.Rename(fresh, aPath, &error))
      throw EOSError("rename failed", error);
  } catch (const std::exception& e) {
    files.Delete(fresh);
    throw Exception("cannot write " + aPath + ": " + e.what());
  }
}

TSnmpEngineState StartEngine(const std::string& aPath, const std::string& aConfiguredId) {
  std::optional<TSnmpEngineState> state = ReadEngineFile(aPath);
  if (!state)
    state = TSnmpEngineState{NewEngineId(), 0};
  // Boots keep rising when the engine ID changes: a sender that knew the
  // old pair never sees boots again that it has seen.
  if (!aConfiguredId.empty())
    state->EngineId = aConfiguredId;
  if (state->Boots < kMaxEngineBoots)
    ++state->Boots;
  WriteEngineFile(aPath, *state);
  return *state;
}

}  // namespace tavo
