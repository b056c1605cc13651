#pragma once
// The command line of tavot: with options it sends test traps and exits,
// without a window or a display. The options are the window's fields, with
// the window's defaults:
//   --v1 | --v3, --host, --port, --community, --user, --password,
//   --level NoAuthNoPriv|AuthNoPriv|AuthPriv, --priv-password, --oid, --id,
//   --text, --count N (N traps, one datagram each), --help, --version;
// and, not in the window, --engine-id HEX (the SNMPv3 engine ID).
// Values follow as the next argument or after "=".

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "testsender/TestTraps.h"

namespace tavo {

constexpr std::int32_t kMaxTrapCount = 1000000;

struct TTavotOptions {
  bool bHelp = false;
  bool bVersion = false;
  int SnmpVersion = 0;  // 1 or 3; 0 until --v1 or --v3
  std::int32_t Count = 1;
  TTestTrapSettings Settings;
};

// Throws EConvertError with a one-line reason for an unknown option, a
// missing or invalid value, both or neither of --v1 and --v3.
TTavotOptions ParseTavotCommandLine(const std::vector<std::string>& aArgs);
std::string TavotHelp(const std::string& aProgram);

// Parses and sends. Exit status: 0 when every trap was handed to the
// network (a line "Traps sent: N" on aOut); 1 when a trap could not be built
// or sent (the reason on aErr, no further traps); 2 for a usage error.
int RunTavotCommandLine(const std::string& aProgram, const std::vector<std::string>& aArgs,
                        std::ostream& aOut, std::ostream& aErr);

}  // namespace tavo
