#include "config/IniFileIo.h"

#include <climits>
#include <cstdlib>
#include <optional>

#include "config/SystemUtils.h"
#include "messages/Format.h"
#include "messages/MsgClasses.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"

namespace tavo {
namespace {

// Far above any real configuration; a device or pipe named by mistake must
// neither hang the start nor fill the memory.
constexpr std::size_t kMaxIniFileBytes = 16u << 20;

// The lines of a decoded text, trimmed, without blank and comment lines.
std::vector<std::string> TextLines(std::string_view aText) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < aText.size()) {
    std::size_t end = aText.find_first_of("\r\n", start);
    if (end == std::string::npos)
      end = aText.size();
    std::string line = TrimText(aText.substr(start, end - start));
    if (!line.empty() && line.front() != ';')
      lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// The lines of a file's bytes: decoded by the byte-order mark or the
// received-text rule; more than 16 MiB give none, as a file that big does.
std::vector<std::string> ByteLines(std::string_view aBytes) {
  if (aBytes.size() > kMaxIniFileBytes)
    return {};
  return TextLines(DecodeTextBytes(aBytes));
}

// The file's lines. A missing or unreadable file (or one that is not a
// regular file of at most 16 MiB) gives none.
std::vector<std::string> ReadLines(const std::string& aFileName) {
  std::string bytes;
  try {
    bytes = ReadFileBytes(aFileName, kMaxIniFileBytes);
  } catch (const Exception&) {
    return {};
  }
  return ByteLines(bytes);
}

bool IsSectionLine(const std::string& aLine) {
  return aLine.size() >= 2 && aLine.front() == '[' && aLine.back() == ']';
}

// Calls aOnSection(name) for each section line and, when it returns true,
// aOnLine(line) for each line of that section; lines before the first
// section are skipped. Which occurrence of a name counts is the caller's:
// here always the first.
template <typename OnSection, typename OnLine>
void WalkSections(const std::vector<std::string>& aLines, OnSection aOnSection, OnLine aOnLine) {
  bool active = false;
  for (const std::string& line : aLines) {
    if (IsSectionLine(line)) {
      active = aOnSection(TrimText(std::string_view(line).substr(1, line.size() - 2)));
      continue;
    }
    if (active)
      aOnLine(line);
  }
}

// The index entry of a key name in the section of index aSection (no name
// holds a line break).
std::string KeyId(std::size_t aSection, std::string_view aName) {
  return std::to_string(aSection) + '\n' + LowerAscii(aName);
}

TIniFileIo* gInstance = nullptr;

}  // namespace

// --- TOrvoIniFile --------------------------------------------------------------

TOrvoIniFile::TOrvoIniFile(const std::string& aFileName) : fsFileName(aFileName) {
  Parse(ReadLines(aFileName));
}

TOrvoIniFile TOrvoIniFile::FromBytes(std::string_view aBytes) {
  TOrvoIniFile ini;
  ini.Parse(ByteLines(aBytes));
  return ini;
}

void TOrvoIniFile::Parse(const std::vector<std::string>& aLines) {
  WalkSections(
      aLines,
      [&](const std::string& name) {
        if (!fSectionIndex.emplace(LowerAscii(name), fSections.size()).second)
          return false;  // a repeated section adds nothing
        fSections.push_back({name, {}});
        return true;
      },
      [&](const std::string& line) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
          return;  // not a key
        const std::size_t section = fSections.size() - 1;
        std::vector<TKey>& keys = fSections.back().Keys;
        std::string name = TrimText(std::string_view(line).substr(0, eq));
        // A later key of the same name adds nothing to the index.
        fKeyIndex.emplace(KeyId(section, name), keys.size());
        keys.push_back({std::move(name), TrimText(std::string_view(line).substr(eq + 1))});
      });
}

const TOrvoIniFile::TSection* TOrvoIniFile::FindSection(const std::string& aSection) const {
  const auto it = fSectionIndex.find(LowerAscii(aSection));
  return it == fSectionIndex.end() ? nullptr : &fSections[it->second];
}

const TOrvoIniFile::TKey* TOrvoIniFile::FindKey(const TSection& aSection,
                                                const std::string& aKey) const {
  const auto section = static_cast<std::size_t>(&aSection - fSections.data());
  const auto it = fKeyIndex.find(KeyId(section, aKey));
  return it == fKeyIndex.end() ? nullptr : &aSection.Keys[it->second];
}

std::string TOrvoIniFile::ValueText(const TKey& aKey) {
  std::string value = aKey.Value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return Utf16Length(value) > 2047 ? Utf16Left(value, 2047) : value;
}

std::string TOrvoIniFile::ReadString(const std::string& aSection, const std::string& aKey,
                                     const std::string& aDefault) const {
  const TSection* section = FindSection(aSection);
  const TKey* key = section ? FindKey(*section, aKey) : nullptr;
  return key ? ValueText(*key) : aDefault;
}

std::int32_t TOrvoIniFile::ReadInteger(const std::string& aSection, const std::string& aKey,
                                       std::int32_t aDefault) const {
  return TryStrToInt(ReadString(aSection, aKey, "")).value_or(aDefault);
}

void TOrvoIniFile::ReadSections(TStringList& aList) const {
  aList.clear();
  for (const TSection& s : fSections)
    aList.push_back(s.Name);
}

void TOrvoIniFile::ReadSectionValues(const std::string& aSection, TStringList& aList) const {
  aList.clear();
  const TSection* section = FindSection(aSection);
  if (!section)
    return;
  for (const TKey& key : section->Keys)
    aList.push_back(key.Name + "=" + ValueText(*FindKey(*section, key.Name)));
}

void TOrvoIniFile::ReadSectionRawValues(const std::string& aSection, TStringList& aList) const {
  aList.clear();
  const TSection* section = FindSection(aSection);
  if (!section)
    return;
  for (const TKey& key : section->Keys)
    aList.push_back(key.Name + "=" + key.Value);
}

std::string TOrvoIniFile::ReadHexString(const std::string& aSection, const std::string& aKey,
                                        const std::string& aDefault) const {
  std::string s;
  for (char c : ReadString(aSection, aKey, aDefault)) {
    if (c != ' ')
      s += c;
  }
  std::size_t bad = 0;
  std::optional<std::string> bytes = HexToBytes(s, &bad);
  if (!bytes && bad == std::string::npos)
    throw Exception(Format("Invalid string length %d", {s.size()}));
  if (!bytes)
    throw EConvertError("'" + s.substr(bad / 2 * 2, 2) + "' is not a valid integer value");
  return std::move(*bytes);
}

// --- TIniFileIo -------------------------------------------------------------------

TIniFileIo& TIniFileIo::Instance() {
  if (!gInstance)
    gInstance = new TIniFileIo();
  return *gInstance;
}

void TIniFileIo::InstanceRelease() {
  delete gInstance;
  gInstance = nullptr;
}

bool TIniFileIo::Load(const std::string& aFileName) {
  try {
    IniFileName = aFileName;
    const TOrvoIniFile ini(aFileName);
    fLogLevel = TMsgBase::TextToMsgTypeId(ini.ReadString("Logging", "Level", ""), eTrace);
    fiLogFileSize = ini.ReadInteger("Logging", "MaxFileSize", 2097152);

    // Directories resolve against the configuration file's folder, which is
    // the executable's folder unless --config named another file.
    const std::string logName = ChangeFileExt(aFileName, ".log");
    fsLogFileName = logName;
    const std::string dir = ini.ReadString("Logging", "Directory", "");
    if (!dir.empty()) {
      const std::string resolved = CombinePath(aFileName, dir);
      if (!resolved.empty() && DirectoryExists(resolved)) {
        fsLogFileName = IncludeTrailingPathDelimiter(resolved) + ExtractFileName(logName);
      }
    }

    fsLogBackupDir.clear();
    const std::string backup = ini.ReadString("Logging", "BackupDirectory", "");
    if (!backup.empty()) {
      const std::string resolved = CombinePath(aFileName, backup);
      if (!resolved.empty() && DirectoryExists(resolved))
        fsLogBackupDir = resolved;
    }
    fiLogBackupRetainDays = ini.ReadInteger("Logging", "BackupRetainDays", 0);
    return true;
  } catch (const std::exception& e) {
    fsLastError = e.what();
    throw;
  }
}

std::unique_ptr<TOrvoIniFile> TIniFileIo::Open() const {
  if (!FileExists(IniFileName))
    throw Exception("File not found: " + IniFileName);
  return std::make_unique<TOrvoIniFile>(IniFileName);
}

void TIniFileIo::ReadSectionValues(const std::string& aSection, TStringList& aList) const {
  aList.clear();
  bool found = false;
  WalkSections(
      ReadLines(IniFileName),
      [&](const std::string& name) {
        const bool wanted = !found && SameText(name, aSection);
        found = found || wanted;
        return wanted;
      },
      [&](const std::string& line) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
          aList.push_back(line);
        } else {
          aList.push_back(TrimRightText(std::string_view(line).substr(0, eq)) + "=" +
                          TrimLeftText(std::string_view(line).substr(eq + 1)));
        }
      });
}

}  // namespace tavo
