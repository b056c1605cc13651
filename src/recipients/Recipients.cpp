#include "recipients/Recipients.h"

#include <exception>

#include "config/SystemUtils.h"
#include "messages/MsgClasses.h"
#include "platform/TextUtils.h"
#include "recipients/RecipientTypes.h"

namespace tavo {

// --- TRecipient -------------------------------------------------------------

TRecipient::TRecipient(std::string sName) : FsName(std::move(sName)) {}

TRecipient::~TRecipient() = default;

bool TRecipient::Init(const TStringList&) {
  return false;
}

void TRecipient::Report(const std::string& aText) {
  TMsg::Trace("Base class recipient report: " + aText);
}

std::string TRecipient::ItemValue(const TStringList& aCfg, std::string_view aKey) {
  for (const std::string& item : aCfg) {
    const auto eq = item.find('=');
    const std::string_view key =
        eq == std::string::npos ? std::string_view(item) : std::string_view(item).substr(0, eq);
    if (SameText(key, aKey))
      return eq == std::string::npos ? std::string() : item.substr(eq + 1);
  }
  return {};
}

std::unique_ptr<TRecipient> TRecipient::CreateObject(const std::string& aName,
                                                     const std::string& aCsv) {
  const TStringList items = SplitRecipientItems(aCsv);
  const TRecipientFactory* factory = FindRecipientType(ItemValue(items, "Type"));
  if (!factory || !*factory) {
    TMsg::Error("Unknown recipient type for \"%s\"", {aName});
    return nullptr;
  }
  try {
    std::unique_ptr<TRecipient> recipient = (*factory)(aName);
    if (recipient && recipient->Init(items))
      return recipient;
  } catch (const std::exception& e) {
    // A class that raises instead of reporting still costs only its own line.
    TMsg::Error(e.what());
  }
  return nullptr;
}

TStringList SplitRecipientItems(std::string_view aCsv) {
  TStringList items;
  std::size_t pos = 0;
  while (pos < aCsv.size()) {
    std::string item;
    if (aCsv[pos] == '"') {
      ++pos;
      while (pos < aCsv.size()) {
        if (aCsv[pos] == '"') {
          if (pos + 1 < aCsv.size() && aCsv[pos + 1] == '"') {
            item += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        item += aCsv[pos++];
      }
    }
    // Plain text, or what follows a closing quote, runs to the next ";".
    while (pos < aCsv.size() && aCsv[pos] != ';')
      item += aCsv[pos++];
    items.push_back(TrimText(item));
    if (pos < aCsv.size()) {
      ++pos;  // the ";"
      if (pos == aCsv.size())
        items.emplace_back();
    }
  }
  return items;
}

TStringList SplitTextLines(std::string_view aText) {
  TStringList lines;
  std::size_t start = 0;
  while (start < aText.size()) {
    std::size_t end = aText.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(aText.substr(start));
      break;
    }
    lines.emplace_back(aText.substr(start, end - start));
    start = end + (aText[end] == '\r' && end + 1 < aText.size() && aText[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

// --- TRecipientList ---------------------------------------------------------

namespace {
std::unique_ptr<TRecipientList>& TheList() {
  static std::unique_ptr<TRecipientList> list;
  return list;
}
}  // namespace

TRecipientList& TRecipientList::Instance() {
  std::unique_ptr<TRecipientList>& list = TheList();
  if (!list)
    list.reset(new TRecipientList());
  return *list;
}

void TRecipientList::InstanceRelease() {
  TheList().reset();
}

void TRecipientList::Clear() {
  // Destroy in reverse order of creation, one at a time, so that a
  // recipient's destructor never sees a half-destroyed list.
  while (!fList.empty())
    fList.pop_back();
}

std::int32_t TRecipientList::Init(const TStringList& aCfg) {
  Clear();
  for (const std::string& line : aCfg) {
    const auto eq = line.find('=');
    const std::string key = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (key.empty() || key[0] == ':' || key[0] == '/' || value.empty())
      continue;
    std::unique_ptr<TRecipient> recipient = TRecipient::CreateObject(key, value);
    if (!recipient)
      continue;
    std::string name = recipient->Name();
    fList.emplace_back(std::move(name), std::move(recipient));
  }
  return Count();
}

std::int32_t TRecipientList::Find(std::string_view aRecipient) const {
  for (std::size_t i = 0; i < fList.size(); ++i) {
    if (SameText(fList[i].first, aRecipient))
      return static_cast<std::int32_t>(i);
  }
  return -1;
}

void TRecipientList::Report(const std::string& aRecipient, const std::string& aText) {
  const std::int32_t i = Find(aRecipient);
  if (i < 0) {
    TMsg::Error("Recipient \"%s\" not found!", {aRecipient});
    return;
  }
  fList[static_cast<std::size_t>(i)].second->Report(aText);
}

std::string TRecipientList::ListNames() const {
  std::string names;
  for (const auto& entry : fList)
    names += entry.first + "\r\n";
  return names;
}

}  // namespace tavo
