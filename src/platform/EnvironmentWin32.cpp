#include <windows.h>

#include "platform/Environment.h"
#include "platform/WideText.h"

namespace tavo {

std::string EnvironmentValue(const char* aName, const std::string& aDefault) {
  const std::wstring name = Utf8ToWide(aName);
  std::wstring value(256, L'\0');
  // A value longer than the buffer reports the size it needs; it may grow
  // once more between the two calls if another thread sets it.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n =
        ::GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (n == 0)
      return aDefault;  // not set, or set to nothing
    if (n < value.size()) {
      value.resize(n);
      return WideToUtf8(value);
    }
    value.resize(n);
  }
  return aDefault;
}

}  // namespace tavo
