#pragma once
// The format routine for message texts. Placeholders:
//   %s  a text           %d  a signed decimal integer
//   %x  an integer in upper-case hexadecimal
//   %.Nd / %.Nx  pad with leading zeros to at least N digits
//   %.Ns  at most N characters of the text
//   %-Ws, %Wd, ...  pad to width W (left-aligned with '-')
//   %%  a literal percent sign
// A placeholder whose argument is missing or of the other kind, an unknown
// placeholder, or an argument left over raises EConvertError; nothing is
// produced then.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/Errors.h"

namespace tavo {

class TFormatArg {
 public:
  TFormatArg(const char* aText) : fbIsText(true), fsText(aText ? aText : "") {}
  TFormatArg(std::string_view aText) : fbIsText(true), fsText(aText) {}
  TFormatArg(const std::string& aText) : fbIsText(true), fsText(aText) {}
  template <typename T>
  requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>)
      TFormatArg(T aValue)
      : fbIsText(false), fiValue(static_cast<std::int64_t>(aValue)) {}

  bool IsText() const { return fbIsText; }
  std::string_view Text() const { return fsText; }
  std::int64_t Value() const { return fiValue; }

 private:
  bool fbIsText;
  std::string fsText;
  std::int64_t fiValue = 0;
};

std::string Format(std::string_view aFormat, std::span<const TFormatArg> aArgs);
inline std::string Format(std::string_view aFormat, std::initializer_list<TFormatArg> aArgs) {
  return Format(aFormat, std::span<const TFormatArg>(aArgs.begin(), aArgs.size()));
}

}  // namespace tavo
