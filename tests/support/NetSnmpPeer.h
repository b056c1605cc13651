#pragma once
// net-snmp's tools as test peers: snmptrap to send traps at us, snmptrapd
// to receive ours. Both run with MIB loading off and their configuration
// and persistent state in the test's temporary folder, never under
// /var/lib/snmp or /etc/snmp. Every wait is bounded.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TestProcess.h"

namespace tavo::test {

// The environment that keeps net-snmp's tools inside aDir.
std::vector<std::string> NetSnmpEnvironment(const std::string& aDir);

// Runs snmptrap with aArgs (everything after the program name).
RunResult RunSnmpTrap(const std::string& aDir, const std::vector<std::string>& aArgs);

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
