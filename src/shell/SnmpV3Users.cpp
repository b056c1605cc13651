#include "shell/SnmpV3Users.h"

#include <optional>
#include <string>

#include "config/CommaSeparatedValue.h"
#include "messages/MsgClasses.h"
#include "platform/Memory.h"
#include "platform/TextUtils.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

// Why the fields cannot make a user; empty when they can.
std::string Check(const TCommaSeparatedValue& aFields, TTrapUser& aUser) {
  const std::int32_t count = aFields.ValueCount();
  if (count > 4)
    return "more than four fields";
  auto field = [&](std::int32_t aIndex) {
    return aIndex < count ? aFields.GetStringTrimmed(aIndex) : std::string();
  };
  const std::string auth = field(0);
  if (auth.empty())
    return "AuthProtocol missing";
  const std::optional<TV3Auth> authMode = AuthProtocolByName(auth);
  if (!authMode)
    return "unknown AuthProtocol \"" + auth + "\"";
  aUser.AuthMode = *authMode;
  aUser.AuthPwd = field(1);
  if (aUser.AuthPwd.empty())
    return "AuthPassword missing";
  const std::string priv = field(2);
  aUser.PrivPwd = field(3);
  if (priv.empty() && aUser.PrivPwd.empty())
    return {};
  if (priv.empty())
    return "PrivProtocol missing";
  const std::optional<TV3Priv> privMode = PrivProtocolByName(priv);
  if (!privMode)
    return "unknown PrivProtocol \"" + priv + "\"";
  if (aUser.PrivPwd.empty())
    return "PrivPassword missing";
  aUser.PrivMode = *privMode;
  aUser.HasPrivacy = true;
  return {};
}

}  // namespace

std::vector<TTrapUser> LoadSnmpV3Users(const TStringList& aLines) {
  std::vector<TTrapUser> users;
  for (const std::string& line : aLines) {
    const std::size_t eq = line.find('=');
    TTrapUser user;
    user.Name = TrimText(line.substr(0, eq));
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    std::string why;
    if (user.Name.empty()) {
      why = "no name";
    } else if (users.size() >= kMaxSnmpV3Users) {
      why = "more than " + std::to_string(kMaxSnmpV3Users) + " users";
    } else {
      for (const TTrapUser& other : users) {
        if (other.Name == user.Name)
          why = "defined before";
      }
    }
    if (why.empty()) {
      TCommaSeparatedValue fields;
      fields.SetStringLine(value + ";");
      why = Check(fields, user);
    }
    if (!why.empty()) {
      SecureWipe(user.AuthPwd);
      SecureWipe(user.PrivPwd);
      TMsg::Error("SNMPv3 user \"%s\" not loaded: %s", {user.Name, why});
      continue;
    }
    users.push_back(std::move(user));
  }
  return users;
}

}  // namespace tavo
