#pragma once
// net-snmp's tools as test peers: snmptrap and snmpinform to send traps at
// us (with their usual argument lists), snmptrapd to receive ours. All run
// with MIB loading off and their configuration and persistent state in the
// test's temporary folder, never under /var/lib/snmp or /etc/snmp. Every
// wait is bounded.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TestProcess.h"

namespace tavo::test {

// The environment that keeps net-snmp's tools inside aDir.
std::vector<std::string> NetSnmpEnvironment(const std::string& aDir);

// Runs snmptrap with aArgs (everything after the program name), or with
// aTool "snmpinform" an inform with the same arguments, in the environment
// above; killed when it takes longer than 20 s.
RunResult RunSnmpTrap(const std::string& aDir, const std::vector<std::string>& aArgs,
                      const std::string& aTool = "snmptrap");

// An SNMPv1 trap as snmptrap's arguments take it. Every field has a value
// (empty where the tool's default is meant), so designated initialisers
// name only what a test sets.
struct SnmpV1Trap {
  std::string Target{};  // host:port
  std::string Community = "public";
  std::string Enterprise{};
  std::string Agent{};        // empty: snmptrap's own address
  std::string Generic = "6";  // enterpriseSpecific
  std::string Specific{};
  std::string Uptime{};                 // empty: snmptrap's own
  std::vector<std::string> Bindings{};  // OID, type letter, value, OID, ...
};
// "-v 1 -c COMMUNITY TARGET ENTERPRISE AGENT GENERIC SPECIFIC UPTIME BINDINGS..."
std::vector<std::string> SnmpV1TrapArgs(const SnmpV1Trap& aTrap);

// An SNMPv3 user at a security level, for snmptrap and snmpinform.
struct SnmpV3User {
  std::string EngineId{};  // "0x..."; empty: snmptrap's own
  std::string Name{};
  std::string Level{};  // noAuthNoPriv, authNoPriv or authPriv
  std::string Auth = "MD5";
  std::string AuthPassword{};
  std::string Priv = "DES";
  std::string PrivPassword{};
};
// "-v 3 [-e ENGINE] -u NAME -l LEVEL [-a AUTH -A PASSWORD] [-x PRIV -X PASSWORD]": the
// authentication options above noAuthNoPriv, the privacy options at authPriv.
// The target, uptime, trap OID and bindings follow them.
std::vector<std::string> SnmpV3Args(const SnmpV3User& aUser);

// snmptrapd in the foreground on 127.0.0.1 with aConfig as its only
// configuration file, logging numeric OIDs to a file. Extra arguments (for
// example "-Dusm") come before the listening address; debug output goes to
// the log file too. Stopped with SIGTERM when the object goes.
class SnmpTrapd {
 public:
  SnmpTrapd(const std::string& aDir, const std::string& aConfig,
            const std::vector<std::string>& aExtraArgs = {});
  ~SnmpTrapd();
  SnmpTrapd(const SnmpTrapd&) = delete;
  SnmpTrapd& operator=(const SnmpTrapd&) = delete;

  std::uint16_t Port() const { return fwPort; }
  std::string Log() const;
  std::string Stderr() const;
  // Waits until the log contains aText.
  bool WaitForLog(const std::string& aText,
                  std::chrono::milliseconds aTimeout = std::chrono::seconds(10)) const;

 private:
  std::string fsDir;
  std::string fsLogFile;
  std::uint16_t fwPort = 0;
  std::unique_ptr<ChildProcess> fProcess;
};

// The text with every blank, tab and line break removed: snmptrapd breaks
// long Hex-STRING values across lines.
std::string WithoutWhitespace(const std::string& aText);

}  // namespace tavo::test
