#pragma once
// Recipients: named destinations for report texts, and the process-wide list
// that holds them.
//
// A recipient is defined by one line of the [Recipients] section:
//   Name=Type=<type>;Key=Value;...
// TRecipient::CreateObject splits the value into items, picks the class by
// the item "Type" through the registry of recipient types
// (recipients/RecipientTypes.h) and lets the new object read its settings in
// Init. The list routes a report to the first recipient of a name.
//
// Main thread only: nothing here takes a lock. The list owns its recipients;
// InstanceRelease destroys them.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/IniFileIo.h"

namespace tavo {

class TRecipient {
 public:
  explicit TRecipient(std::string sName);
  virtual ~TRecipient();
  TRecipient(const TRecipient&) = delete;
  TRecipient& operator=(const TRecipient&) = delete;

  const std::string& Name() const { return FsName; }

  // Reads the settings from the items of the recipient's line ("Key=Value",
  // trimmed). false rejects the line; the class has emitted its errors.
  // The base class accepts nothing.
  virtual bool Init(const TStringList& aCfg);
  // Delivers one report text. Failures are reported through TMsg, never
  // raised. The base class only traces the text.
  virtual void Report(const std::string& aText);

  // A recipient for one line, or nullptr after its errors were emitted:
  // "Unknown recipient type for \"<name>\"" for a missing or unregistered
  // "Type", or the class's own messages when its Init rejects the items.
  static std::unique_ptr<TRecipient> CreateObject(const std::string& aName,
                                                  const std::string& aCsv);

  // The value of the first item whose key equals aKey ignoring ASCII case,
  // taken after the item's first "="; empty when there is none.
  static std::string ItemValue(const TStringList& aCfg, std::string_view aKey);

 protected:
  std::string FsName;
};

// Splits a recipient line's value into items: items end at ";" only; an
// item that begins with a double quote runs to its closing quote (""
// inside stands for one quote), may hold ";", and loses the quotes; a ";"
// at the very end adds one empty item; every item is trimmed of blanks and
// control characters. An empty value gives no items.
TStringList SplitRecipientItems(std::string_view aCsv);

// The lines of a report or template text: CR LF, CR and LF each end a line;
// a line end at the very end adds no empty line, and an empty text has none.
TStringList SplitTextLines(std::string_view aText);

class TRecipientList {
 public:
  // The one list; created empty on first use.
  static TRecipientList& Instance();
  // Destroys the list and every recipient; the next Instance() makes a new one.
  static void InstanceRelease();

  // Replaces every recipient by those of aCfg, the section's "name=value"
  // lines in file order. Lines with an empty key, a key starting with ":"
  // or "/", or an empty value are skipped silently; a line that cannot be
  // loaded is reported and left out. Returns the number of recipients held.
  std::int32_t Init(const TStringList& aCfg);
  // Position of the first recipient named aRecipient (ignoring case), or -1.
  std::int32_t Find(std::string_view aRecipient) const;
  // Hands aText to the first recipient of that name; Error "Recipient
  // \"%s\" not found!" when there is none.
  void Report(const std::string& aRecipient, const std::string& aText);
  // The names in list order, each followed by CR LF.
  std::string ListNames() const;

  std::int32_t Count() const { return static_cast<std::int32_t>(fList.size()); }
  TRecipient& Recipient(std::int32_t aIndex) const { return *fList.at(aIndex).second; }

 private:
  TRecipientList() = default;
  void Clear();

  // Names as configured, each with its recipient; may hold a name twice.
  std::vector<std::pair<std::string, std::unique_ptr<TRecipient>>> fList;
};

}  // namespace tavo
