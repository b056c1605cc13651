#pragma once
// The command line of tavot: with options it sends test traps and exits,
// without a window or a display. The options are the window's fields, with
// the window's defaults:
//   --v1 | --v3, --host, --port, --community, --user, --password,
//   --level NoAuthNoPriv|AuthNoPriv|AuthPriv, --priv-password, --oid, --id,
//   --text, --count N (N traps, one datagram each), --help, --version;
// and, not in the window: --v2c (SNMPv2c traps), --inform (acknowledged
// informs instead of traps, with --v2c or --v3) with --timeout SECONDS and
// --retries N, --auth-protocol and --priv-protocol (the SNMPv3 protocols),
// --engine-id HEX (the SNMPv3 engine ID: the sender's own for traps, the
// receiver's for informs, which then skip discovery).
// Values follow as the next argument or after "=".

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "testsender/TestInforms.h"
#include "testsender/TestTraps.h"

namespace tavo {

constexpr std::int32_t kMaxTrapCount = 1000000;

struct TTavotOptions {
  bool bHelp = false;
  bool bVersion = false;
  int SnmpVersion = 0;  // 1, 2 (SNMPv2c) or 3; 0 until --v1, --v2c or --v3
  bool bInform = false;
  TInformOptions Inform;
  std::int32_t Count = 1;
  TTestTrapSettings Settings;
};

// Throws EConvertError with a one-line reason for an unknown option, a
// missing or invalid value, more than one or none of --v1, --v2c and --v3,
// --inform with --v1.
TTavotOptions ParseTavotCommandLine(const std::vector<std::string>& aArgs);
std::string TavotHelp(const std::string& aProgram);

// Parses and sends. Exit status: 0 when every trap was handed to the
// network (a line "Traps sent: N" on aOut); 1 when a trap could not be built
// or sent (the reason on aErr, no further traps); 2 for a usage error.
int RunTavotCommandLine(const std::string& aProgram, const std::vector<std::string>& aArgs,
                        std::ostream& aOut, std::ostream& aErr);

}  // namespace tavo
