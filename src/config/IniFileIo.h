#pragma once
// The configuration file: one INI file, read, never written.
//
// File rules: "[name]" opens a section; "key=value" defines a key (only the
// first "=" separates); lines starting with ";" are comments; blank lines
// are ignored; section and key names match without regard to ASCII case;
// blanks around keys and values do not count. The text is decoded by its
// byte-order mark (UTF-8, UTF-16 LE/BE), else as UTF-8 when valid, else as
// Windows-1252. A section name that occurs again adds nothing: only its
// first occurrence counts.
//
// Main thread only. Every Open() or ReadSectionValues() reads the file
// afresh; nothing is cached between calls.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "messages/MsgTypes.h"

namespace tavo {

using TStringList = std::vector<std::string>;

// A reader over one file, holding the file's content as it was when the
// reader was made. A missing file reads as empty: every key gives its default.
class TOrvoIniFile {
 public:
  explicit TOrvoIniFile(const std::string& aFileName);
  // A reader over the bytes a file would hold, read as that file would be
  // (the same decoding, limits and rules); FileName() is empty.
  static TOrvoIniFile FromBytes(std::string_view aBytes);

  const std::string& FileName() const { return fsFileName; }

  // The value of the first matching key of the first matching section,
  // trimmed, without one enclosing pair of double or single quotes, at most
  // 2047 characters; aDefault when the section or key is missing.
  std::string ReadString(const std::string& aSection, const std::string& aKey,
                         const std::string& aDefault) const;
  // Decimal with optional sign, "0x…" (longer than two characters) or "$…"
  // hexadecimal; aDefault for a missing, empty, invalid or out-of-range value.
  std::int32_t ReadInteger(const std::string& aSection, const std::string& aKey,
                           std::int32_t aDefault) const;
  // Every section name, in file order.
  void ReadSections(TStringList& aList) const;
  // "key=ReadString(key)" for every key of the section, in file order.
  void ReadSectionValues(const std::string& aSection, TStringList& aList) const;
  // "key=value" for every key of the section, in file order, with each value
  // as written (trimmed, quotes kept, no length limit): for values whose
  // quotes are part of them. The same lines TIniFileIo::ReadSectionValues
  // gives for keys, without reading the file again.
  void ReadSectionRawValues(const std::string& aSection, TStringList& aList) const;
  // A value written as hexadecimal digit pairs (blanks ignored) as bytes.
  // Throws Exception "Invalid string length %d" for an odd number of digits,
  // EConvertError for a pair that is not hexadecimal.
  std::string ReadHexString(const std::string& aSection, const std::string& aKey,
                            const std::string& aDefault) const;

 private:
  struct TKey {
    std::string Name;
    std::string Value;  // trimmed, quotes kept
  };
  struct TSection {
    std::string Name;
    std::vector<TKey> Keys;
  };
  TOrvoIniFile() = default;
  // Fills fSections from the file's lines, without blank and comment lines.
  void Parse(const std::vector<std::string>& aLines);
  const TSection* FindSection(const std::string& aSection) const;
  // The first key of that name in aSection, one of fSections.
  const TKey* FindKey(const TSection& aSection, const std::string& aKey) const;
  // What ReadString gives for a key that is there.
  static std::string ValueText(const TKey& aKey);

  std::string fsFileName;
  std::vector<TSection> fSections;  // first occurrences only, in file order
  // Lookups by name cost the same for the thousandth section or key as for
  // the first: a section's index in fSections by its lower-case name, and
  // the index of the first key of a name by its section's index and its
  // lower-case name.
  std::unordered_map<std::string, std::size_t> fSectionIndex;
  std::unordered_map<std::string, std::size_t> fKeyIndex;
};

class TIniFileIo {
 public:
  static TIniFileIo& Instance();
  static void InstanceRelease();

  // Remembers the path and reads [Logging]. A missing file gives the
  // defaults. Returns true; on an exception records its text in LastError
  // and lets it propagate.
  bool Load(const std::string& aFileName);
  // A new reader for IniFileName; throws Exception "File not found: <path>"
  // when no file exists there.
  std::unique_ptr<TOrvoIniFile> Open() const;
  // The section's entries as raw lines ("name=value" or the bare text),
  // quotes kept, from a fresh reading of the whole file.
  void ReadSectionValues(const std::string& aSection, TStringList& aList) const;

  std::string IniFileName;
  const std::string& LastError() const { return fsLastError; }
  TMsgTypeId LogLevel() const { return fLogLevel; }
  const std::string& LogBackupDir() const { return fsLogBackupDir; }
  std::int32_t LogFileSize() const { return fiLogFileSize; }
  const std::string& LogFileName() const { return fsLogFileName; }
  std::int32_t LogBackupRetainDays() const { return fiLogBackupRetainDays; }

 private:
  TIniFileIo() = default;

  std::string fsLastError;
  TMsgTypeId fLogLevel = eTrace;
  std::string fsLogBackupDir;
  std::int32_t fiLogFileSize = 2097152;
  std::string fsLogFileName;
  std::int32_t fiLogBackupRetainDays = 0;
};

}  // namespace tavo
