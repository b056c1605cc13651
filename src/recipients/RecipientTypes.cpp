#include "recipients/RecipientTypes.h"

#include <utility>

#include "config/SystemUtils.h"
#include "platform/TextUtils.h"
#include "recipients/RecipientMail.h"
#include "recipients/RecipientSnmpTrap.h"
#include "recipients/Recipients.h"

namespace tavo {
namespace {

struct TTypeBinding {
  std::string Type;
  TRecipientFactory Factory;
};

struct TRegistry {
  std::vector<TTypeBinding> Bindings;
  bool StandardDone = false;
};

TRegistry& TheRegistry() {
  static TRegistry registry;
  return registry;
}

void EnsureStandardTypes() {
  TRegistry& r = TheRegistry();
  if (r.StandardDone)
    return;
  r.StandardDone = true;
  RegisterStandardRecipientTypes();
}

}  // namespace

void RegisterStandardRecipientTypes() {
  TheRegistry().StandardDone = true;
  // One line per recipient class the product ships (see the header).
  RegisterRecipientType(
      "SmtpMail", [](const std::string& aName) { return std::make_unique<TRecipientMail>(aName); });
  RegisterRecipientType("SnmpTrapV1", [](const std::string& aName) {
    return std::make_unique<TRecipientSnmpTrapV1>(aName);
  });
}

void RegisterRecipientType(const std::string& aType, TRecipientFactory aFactory) {
  EnsureStandardTypes();
  TRegistry& r = TheRegistry();
  for (TTypeBinding& b : r.Bindings) {
    if (SameText(b.Type, aType)) {
      b.Factory = std::move(aFactory);
      return;
    }
  }
  r.Bindings.push_back({aType, std::move(aFactory)});
}

bool UnregisterRecipientType(std::string_view aType) {
  EnsureStandardTypes();
  TRegistry& r = TheRegistry();
  for (auto it = r.Bindings.begin(); it != r.Bindings.end(); ++it) {
    if (SameText(it->Type, aType)) {
      r.Bindings.erase(it);
      return true;
    }
  }
  return false;
}

const TRecipientFactory* FindRecipientType(std::string_view aType) {
  EnsureStandardTypes();
  for (const TTypeBinding& b : TheRegistry().Bindings) {
    if (SameText(b.Type, aType))
      return &b.Factory;
  }
  return nullptr;
}

std::vector<std::string> RecipientTypeNames() {
  EnsureStandardTypes();
  std::vector<std::string> names;
  for (const TTypeBinding& b : TheRegistry().Bindings)
    names.push_back(b.Type);
  return names;
}

}  // namespace tavo
