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

// A time-out in seconds, with up to three decimals: 0.001 to 3600.
int ParseTimeoutMs(const std::string& aText) {
  const std::size_t dot = aText.find('.');
  const std::string whole = aText.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? "" : aText.substr(dot + 1);
  auto digits = [](const std::string& aPart) {
    return aPart.find_first_not_of("0123456789") == std::string::npos;
  };
  long ms = -1;
  if (!whole.empty() && whole.size() <= 4 && fraction.size() <= 3 && digits(whole) &&
      digits(fraction) && (dot == std::string::npos || !fraction.empty())) {
    ms = std::stol(whole) * 1000 +
         (fraction.empty() ? 0 : std::stol((fraction + "00").substr(0, 3)));
  }
  if (ms < 1 || ms > 3600 * 1000) {
    throw EConvertError("--timeout: seconds from 0.001 to 3600 are needed, not \"" + aText + "\"");
  }
  return static_cast<int>(ms);
}

int ParseRetries(const std::string& aText) {
  if (aText.empty() || aText.size() > 3 ||
      aText.find_first_not_of("0123456789") != std::string::npos || std::stoi(aText) > 100) {
    throw EConvertError("--retries: a number from 0 to 100 is needed, not \"" + aText + "\"");
  }
  return std::stoi(aText);
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
    } else if (name == "--v1" || name == "--v2c" || name == "--v3") {
      noValue();
      const int version = name == "--v1" ? 1 : name == "--v2c" ? 2 : 3;
      if (options.SnmpVersion != 0 && options.SnmpVersion != version) {
        throw EConvertError("--v1, --v2c and --v3 exclude each other");
      }
      options.SnmpVersion = version;
    } else if (name == "--inform") {
      noValue();
      options.bInform = true;
    } else if (name == "--timeout") {
      options.Inform.TimeoutMs = ParseTimeoutMs(takeValue());
    } else if (name == "--retries") {
      options.Inform.Retries = ParseRetries(takeValue());
    } else if (name == "--auth-protocol") {
      const std::string value = takeValue();
      const auto mode = AuthProtocolByName(value);
      if (!mode) {
        throw EConvertError(
            "--auth-protocol: MD5, SHA, SHA-224, SHA-256, SHA-384 or SHA-512 is "
            "needed, not \"" +
            value + "\"");
      }
      s.AuthMode = *mode;
    } else if (name == "--priv-protocol") {
      const std::string value = takeValue();
      const auto mode = PrivProtocolByName(value);
      if (!mode) {
        throw EConvertError(
            "--priv-protocol: DES, 3DES, AES, AES-192, AES-256, AES-192-C or "
            "AES-256-C is needed, not \"" +
            value + "\"");
      }
      s.PrivMode = *mode;
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
    throw EConvertError("say --v1, --v2c or --v3");
  }
  if (options.bInform && options.SnmpVersion == 1)
    throw EConvertError("--inform needs --v2c or --v3");
  return options;
}

std::string TavotHelp(const std::string& aProgram) {
  const TTestTrapSettings d;
  return "Usage: " + aProgram +
         " [--v1 | --v2c | --v3] [--inform] [options]\n"
         "Sends SNMP test traps to Tavo. Without arguments it opens its window.\n"
         "\n"
         "  --v1                  send SNMPv1 Trap-PDUs (community)\n"
         "  --v2c                 send SNMPv2c SNMPv2-Trap-PDUs (community)\n"
         "  --v3                  send SNMPv3 SNMPv2-Trap-PDUs (user-based security)\n"
         "  --inform              send InformRequests and wait for each Response\n"
         "                        (--v2c or --v3; SNMPv3 discovers the receiver's engine)\n"
         "  --timeout SECONDS     wait for a Response this long per try (1)\n"
         "  --retries N           send an unanswered inform again N times (5)\n"
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
         "  --auth-protocol NAME  MD5, SHA, SHA-224, SHA-256, SHA-384 or SHA-512 (MD5)\n"
         "  --priv-protocol NAME  DES, 3DES, AES, AES-192, AES-256, AES-192-C or AES-256-C\n"
         "                        (DES)\n"
         "  --engine-id HEX       SNMPv3 engine ID, 5 to 32 bytes: the sender's for traps\n"
         "                        (none: Tavo needs none), the receiver's for informs\n"
         "                        (none: discovered)\n"
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
         "Exit status: 0 when every trap was handed to the network (every inform\n"
         "answered), 1 when a trap could not be built or sent (an inform got no\n"
         "answer, a report or an error-status), 2 for a usage error.\n";
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
      if (options.bInform) {
        const std::string why = SendTestInform(s, options.SnmpVersion, options.Inform);
        if (!why.empty()) {
          aErr << aProgram << ": inform " << n << " not answered: " << why << "\n";
          return 1;
        }
        continue;
      }
      if (options.SnmpVersion == 1) {
        sent = SendTestTrapV1(s);
      } else if (options.SnmpVersion == 2) {
        sent = SendTestTrapV2c(s);
      } else {
        sent = SendTestTrapV3(s);
      }
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
  aOut << (options.bInform ? "Informs answered: " : "Traps sent: ") << options.Count << "\n";
  return 0;
}

}  // namespace tavo
