#pragma once
// The registry of recipient types: binds each "Type" value of a
// [Recipients] line to a factory for its class, so that the recipient list
// knows no recipient's insides.
//
// Registering a type. Write the class (derived from TRecipient) with its own
// header and source in src/recipients/, then add one line for it to
// RegisterStandardRecipientTypes() in RecipientTypes.cpp:
//   RegisterRecipientType("SmtpMail", [](const std::string& aName) {
//     return std::make_unique<TRecipientMail>(aName);
//   });
// The registration is an explicit call on purpose: a self-registering
// static object in a static library is dropped by the linker when nothing
// refers to its file.
//
// Standard types: "SnmpTrapV1" (TRecipientSnmpTrapV1) and "SmtpMail"
// (TRecipientMail, reserved for the mail recipient). Tests may register
// their own types and remove them again.
//
// Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

class TRecipient;

// Makes a recipient named aName with its settings still unread.
using TRecipientFactory = std::function<std::unique_ptr<TRecipient>(const std::string& aName)>;

// Binds aType (matched ignoring ASCII case) to aFactory, replacing an
// earlier binding of the same type.
void RegisterRecipientType(const std::string& aType, TRecipientFactory aFactory);
// Removes a binding; false when there was none.
bool UnregisterRecipientType(std::string_view aType);
// The factory bound to aType, or nullptr. The first lookup registers the
// standard types.
const TRecipientFactory* FindRecipientType(std::string_view aType);
// The registered type names, in registration order.
std::vector<std::string> RecipientTypeNames();

// Registers the types the product ships. Called once by the registry before
// its first lookup; calling it again re-registers them.
void RegisterStandardRecipientTypes();

}  // namespace tavo
