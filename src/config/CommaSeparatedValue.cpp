#include "config/CommaSeparatedValue.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "config/SystemUtils.h"
#include "messages/Format.h"
#include "platform/TextUtils.h"

namespace tavo {

void TCommaSeparatedValue::SetStringLine(const std::string& aLine) {
  fsStringLine = aLine;
  fslValues.clear();
  std::string current;
  bool inQuotes = false;
  for (char c : aLine) {
    if (c == QuotationMarks)
      inQuotes = !inQuotes;
    if (c != Separator || inQuotes) {
      current += c;
    } else {
      fslValues.push_back(std::move(current));
      current.clear();
    }
  }
}

std::string TCommaSeparatedValue::GetValue(std::int32_t iIndex) const {
  if (iIndex < 0 || iIndex >= ValueCount()) {
    throw Exception(Format("Invalid csv index %d to list count %d!", {iIndex, ValueCount()}));
  }
  return fslValues[static_cast<std::size_t>(iIndex)];
}

std::string TCommaSeparatedValue::GetValueTrimmed(std::int32_t iIndex) const {
  return TrimText(GetValue(iIndex));
}

std::string TCommaSeparatedValue::GetString(std::int32_t iIndex) const {
  return UnquoteText(GetValueTrimmed(iIndex), QuotationMarks);
}

std::string TCommaSeparatedValue::GetStringTrimmed(std::int32_t iIndex) const {
  return TrimText(GetString(iIndex));
}

std::int32_t TCommaSeparatedValue::GetInteger(std::int32_t iIndex) const {
  const std::string s = GetValueTrimmed(iIndex);
  if (const auto value = TryStrToInt(s))
    return *value;
  throw EConvertError(Format("'%s' is not a valid integer value", {s}));
}

double TCommaSeparatedValue::GetFloat(std::int32_t iIndex) const {
  const std::string s = GetValueTrimmed(iIndex);
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (s.empty() || end != s.c_str() + s.size() || errno == ERANGE) {
    throw EConvertError(Format("'%s' is not a valid floating point value", {s}));
  }
  return v;
}

}  // namespace tavo
