#include "testsender/TavotCommandLine.h"

#include <optional>
#include <string_view>

#include "config/SystemUtils.h"
#include "platform/Socket.h"
#include "platform/TextUtils.h"
#include "snmp/SnmpEndpoint.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

std::int32_t ParseCount(const std::string& aText) {
  std::int64_t value = 0;
  bool ok = !aText.empty() && aText.size() <= 7;
  for (char c : aText) {
    if (c < '0' || c > '9')
      ok = false;
  }
  if (ok)
    value = std::stoll(aText);
  if (!ok || value < 1 || value > kMaxTrapCount) {
    throw EConvertError("--count: a number from 1 to " + std::to_string(kMaxTrapCount) +
                        " is needed, not \"" + aText + "\"");
  }
  return static_cast<std::int32_t>(value);
}

TV3Flags ParseLevel(const std::string& aText) {
  for (int i = 0; i < 3; ++i) {
    if (SameText(aText, kSecurityLevelNames[i]))
      return static_cast<TV3Flags>(i);
  }
  throw EConvertError("--level: NoAuthNoPriv, AuthNoPriv or AuthPriv is needed, not \"" + aText +
                      "\"");
}

// An SNMP engine ID is 5 to 32 bytes; empty is no engine ID, the default.
constexpr std::size_t kMinEngineIdBytes = 5;
constexpr std::size_t kMaxEngineIdBytes = 32;

std::string ParseEngineId(const std::string& aText) {
  std::string_view hex = aText;
  if (hex.size() >= 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X'))
    hex.remove_prefix(2);
  if (aText.empty())
    return {};
  const auto bytes = hex.size() <= 2 * kMaxEngineIdBytes ? HexToBytes(hex) : std::nullopt;
  if (!bytes || bytes->size() < kMinEngineIdBytes) {
    throw EConvertError("--engine-id: 5 to 32 bytes in hexadecimal digits are needed, not \"" +
                        aText.substr(0, 2 * kMaxEngineIdBytes + 2) + "\"");
  }
  return *bytes;
}

// Why a send failed: the resolver's answer, or the port.
std::string SendFailureReason(const TTestTrapSettings& aSettings) {
  std::uint16_t port = 0;
  if (!ParsePortText(aSettings.Port, port) || port == 0) {
    return "\"" + aSettings.Port + "\" is not a port number";
  }
  if (aSettings.Host.empty())
    return "no host given";
  try {
    ResolveAddress(aSettings.Host, port, TSockType::eDatagram);
  } catch (const Exception& e) {
    return e.what();
  }
  return "the network refused the datagram";
}

}  // namespace

TTavotOptions ParseTavotCommandLine(const std::vector<std::string>& aArgs) {
  TTavotOptions options;
  TTestTrapSettings& s = options.Settings;
  for (std::size_t i = 0; i < aArgs.size(); ++i) {
    std::string name = aArgs[i];
    std::string value;
    bool hasValue = false;
    const std::size_t eq = name.find('=');
    if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    auto takeValue = [&]() -> std::string {
      if (hasValue)
        return value;
      if (i + 1 >= aArgs.size())
        throw EConvertError(name + ": a value is missing");
      return aArgs[++i];
    };
    auto noValue = [&]() {
      if (hasValue)
        throw EConvertError(name + " takes no value");
    };
    if (name == "--help" || name == "-h") {
      noValue();
      options.bHelp = true;
    } else if (name == "--version") {
      noValue();
      options.bVersion = true;
    } else if (name == "--v1" || name == "--v3") {
      noValue();
      const int version = name == "--v1" ? 1 : 3;
      if (options.SnmpVersion != 0 && options.SnmpVersion != version) {
        throw EConvertError("--v1 and --v3 exclude each other");
      }
      options.SnmpVersion = version;
    } else if (name == "--host") {
      s.Host = takeValue();
    } else if (name == "--port") {
      s.Port = takeValue();
    } else if (name == "--community") {
      s.Community = takeValue();
    } else if (name == "--user") {
      s.UserName = takeValue();
    } else if (name == "--password") {
      s.UserPwd = takeValue();
    } else if (name == "--level") {
      s.Flags = ParseLevel(takeValue());
    } else if (name == "--priv-password") {
      s.PrivPwd = takeValue();
    } else if (name == "--engine-id") {
      s.EngineId = ParseEngineId(takeValue());
    } else if (name == "--oid") {
      s.Oid = takeValue();
    } else if (name == "--id") {
      s.MsgId = takeValue();
    } else if (name == "--text") {
      s.MsgText = takeValue();
    } else if (name == "--count") {
      options.Count = ParseCount(takeValue());
    } else {
      throw EConvertError("unknown argument \"" + aArgs[i] + "\"");
    }
  }
  if (!options.bHelp && !options.bVersion && options.SnmpVersion == 0) {
    throw EConvertError("say --v1 or --v3");
  }
  return options;
}

std::string TavotHelp(const std::string& aProgram) {
  const TTestTrapSettings d;
  return "Usage: " + aProgram +
         " [--v1 | --v3] [options]\n"
         "Sends SNMP test traps to Tavo. Without arguments it opens its window.\n"
         "\n"
         "  --v1                  send SNMPv1 Trap-PDUs (community)\n"
         "  --v3                  send SNMPv3 SNMPv2-Trap-PDUs (user-based security)\n"
         "  --host HOST           target host name or address (" +
         d.Host +
         ")\n"
         "  --port PORT           target UDP port (" +
         d.Port +
         ")\n"
         "  --community TEXT      SNMPv1 community (" +
         d.Community +
         ")\n"
         "  --user NAME           SNMPv3 user name (" +
         d.UserName +
         ")\n"
         "  --password TEXT       SNMPv3 authentication password (the receiver's default)\n"
         "  --level LEVEL         NoAuthNoPriv, AuthNoPriv or AuthPriv (AuthNoPriv)\n"
         "  --priv-password TEXT  SNMPv3 privacy password for AuthPriv (the receiver's default)\n"
         "  --engine-id HEX       SNMPv3 engine ID, 5 to 32 bytes (none: Tavo needs none)\n"
         "  --oid OID             base OID; the trap carries OID.1 and OID.2 (" +
         d.Oid +
         ")\n"
         "  --id ID               message id, sent as INTEGER (" +
         d.MsgId +
         ")\n"
         "  --text TEXT           message text, sent in Windows-1252\n"
         "  --count N             send N traps, one datagram each (1)\n"
         "  --help                show this help\n"
         "  --version             show the version\n"
         "\n"
         "Exit status: 0 when every trap was handed to the network, 1 when a trap\n"
         "could not be built or sent, 2 for a usage error.\n";
}

int RunTavotCommandLine(const std::string& aProgram, const std::vector<std::string>& aArgs,
                        std::ostream& aOut, std::ostream& aErr) {
  TTavotOptions options;
  try {
    options = ParseTavotCommandLine(aArgs);
  } catch (const Exception& e) {
    aErr << aProgram << ": " << e.what() << "\nTry '" << aProgram << " --help'.\n";
    return 2;
  }
  if (options.bHelp) {
    aOut << TavotHelp(aProgram);
    return 0;
  }
  if (options.bVersion) {
    aOut << "tavot 1.10.01\n";
    return 0;
  }
  const TTestTrapSettings& s = options.Settings;
  for (std::int32_t n = 1; n <= options.Count; ++n) {
    bool sent = false;
    try {
      sent = options.SnmpVersion == 1 ? SendTestTrapV1(s) : SendTestTrapV3(s);
    } catch (const Exception& e) {
      aErr << aProgram << ": trap " << n << " not sent: " << e.what() << "\n";
      return 1;
    }
    if (!sent) {
      aErr << aProgram << ": trap " << n << " not sent to " << s.Host << ":" << s.Port << ": "
           << SendFailureReason(s) << "\n";
      return 1;
    }
  }
  aOut << "Traps sent: " << options.Count << "\n";
  return 0;
}

}  // namespace tavo
