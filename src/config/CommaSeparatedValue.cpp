#include "config/CommaSeparatedValue.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "config/SystemUtils.h"
#include "messages/Format.h"

namespace tavo {

void TCommaSeparatedValue::SetStringLine(const std::string& aLine) {
  fsStringLine = aLine;
  fslValues.clear();
  std::string current;
  bool inQuotes = false;
  for (char c : aLine) {
    if (c == QuotationMarks) inQuotes = !inQuotes;
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
  const auto invalid = [&] { return EConvertError(Format("'%s' is not a valid integer value", {s})); };
  std::size_t pos = 0;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
  int base = 10;
  if (pos < s.size() && s[pos] == '$') {
    base = 16;
    ++pos;
  } else if (pos + 1 < s.size() && s[pos] == '0' && (s[pos + 1] == 'x' || s[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  if (pos >= s.size()) throw invalid();
  long long value = 0;
  for (; pos < s.size(); ++pos) {
    const char c = s[pos];
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) throw invalid();
    value = value * base + d;
    if (value > 0x100000000LL) throw invalid();
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) throw invalid();
  return static_cast<std::int32_t>(value);
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
