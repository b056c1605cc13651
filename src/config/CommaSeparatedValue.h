#pragma once
// Splits one line of separated values (";" by default) into fields. Only
// text that a separator ends becomes a field, so callers append one
// separator to the line. A separator between quotation marks belongs to the
// field; the quotation marks stay in the raw field.

#include <cstdint>
#include <string>
#include <vector>

namespace tavo {

class TCommaSeparatedValue {
 public:
  char QuotationMarks = '"';
  char Separator = ';';

  void SetStringLine(const std::string& aLine);
  const std::string& StringLine() const { return fsStringLine; }

  std::int32_t ValueCount() const { return static_cast<std::int32_t>(fslValues.size()); }
  // The field as split. Throws Exception "Invalid csv index %d to list
  // count %d!" for an index at or beyond the count (or negative).
  std::string GetValue(std::int32_t iIndex) const;
  std::string GetValueTrimmed(std::int32_t iIndex) const;
  // The text between the first two quotation marks of the trimmed field,
  // everything after a single one, or the whole trimmed field.
  std::string GetString(std::int32_t iIndex) const;
  std::string GetStringTrimmed(std::int32_t iIndex) const;
  // Throws EConvertError "'%s' is not a valid integer value".
  std::int32_t GetInteger(std::int32_t iIndex) const;
  // With the locale's decimal separator; throws EConvertError.
  double GetFloat(std::int32_t iIndex) const;

 private:
  std::vector<std::string> fslValues;
  std::string fsStringLine;
};

}  // namespace tavo
