#pragma once
// tavot's SNMPv2c traps and its acknowledged informs. Both carry
// sysUpTime.0 and snmpTrapOID.0 (the base OID + ".0") first, as SNMPv2
// notifications must, then the message id and text of the settings.
//
// An inform waits for its Response and sends the same datagram again when
// none comes in time. With SNMPv3 the receiver is the authoritative engine:
// without a given engine ID, a first unauthenticated request asks for it
// (and for the engine's boots and time); a report that the time was outside
// the receiver's window brings the right time, and the inform is sent once
// more with it.

#include <cstdint>
#include <string>

#include "testsender/TestTraps.h"

namespace tavo {

struct TInformOptions {
  int TimeoutMs = 1000;  // per try
  int Retries = 5;       // tries after the first
};

// One SNMPv2-Trap-PDU with the community. True when handed to the network;
// encoding errors (ESnmpError) propagate.
bool SendTestTrapV2c(const TTestTrapSettings& aSettings);

// One InformRequest-PDU, SNMPv2c (aVersion 2) or SNMPv3 (3), acknowledged.
// Empty when the Response came with error-status 0; otherwise why not (no
// answer, a report, an error-status). Encoding errors (ESnmpError)
// propagate.
std::string SendTestInform(const TTestTrapSettings& aSettings, int aVersion,
                           const TInformOptions& aOptions);

}  // namespace tavo
