// libFuzzer target: the bytes of a configuration file through the INI
// reader (TOrvoIniFile::FromBytes, the file's own parse) and every reading
// the configuration is taken in with, on what the reader finds. What the
// reader's contract promises is checked: valid UTF-8 everywhere, one line
// per key in both section views, sections named once, values within 2047
// UTF-16 code units, and the documented exceptions of ReadHexString only.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/IniFileIo.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "platform/TextUtils.h"

namespace {

using namespace tavo;

// Sections and keys per section read one by one: each reading searches the
// file's sections and the section's keys, so more would only make the
// target slow, not reach other paths.
constexpr std::size_t kRead = 64;

void Expect(bool aHolds) {
  if (!aHolds)
    std::abort();
}

void ReadKey(const TOrvoIniFile& aIni, const std::string& aSection, const std::string& aKey) {
  const std::string value = aIni.ReadString(aSection, aKey, "\x01");
  Expect(IsValidUtf8(value) && Utf16Length(value) <= 2047);
  // A key found in a section found under another case.
  Expect(aIni.ReadString(LowerAscii(aSection), LowerAscii(aKey), "\x01") == value);
  const std::int32_t number = aIni.ReadInteger(aSection, aKey, 7);
  Expect(number == 7 || TryStrToInt(value) == number);
  try {
    const std::string bytes = aIni.ReadHexString(aSection, aKey, "");
    Expect(bytes.size() * 2 <= value.size());
  } catch (const EConvertError&) {
    // a pair that is not hexadecimal
  } catch (const Exception&) {
    // an odd number of digits
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string_view bytes(reinterpret_cast<const char*>(aData), aSize);
  const TOrvoIniFile ini = TOrvoIniFile::FromBytes(bytes);
  TStringList sections;
  ini.ReadSections(sections);
  TStringList values, raw;
  for (std::size_t i = 0; i < sections.size() && i < kRead; ++i) {
    const std::string& section = sections[i];
    Expect(IsValidUtf8(section));
    for (std::size_t j = 0; j < i; ++j)
      Expect(!SameText(sections[j], section));
    ini.ReadSectionValues(section, values);
    ini.ReadSectionRawValues(section, raw);
    Expect(values.size() == raw.size());
    for (std::size_t k = 0; k < raw.size() && k < kRead; ++k) {
      Expect(IsValidUtf8(raw[k]));
      const std::string key = raw[k].substr(0, raw[k].find('='));
      Expect(values[k].compare(0, key.size() + 1, key + "=") == 0);
      ReadKey(ini, section, key);
    }
  }
  ReadKey(ini, "no such section", "key");
  return 0;
}
