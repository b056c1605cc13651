#include "NetSnmpPeer.h"

#include <signal.h>

#include <atomic>
#include <stdexcept>

#include "TestSupport.h"

namespace tavo::test {

std::vector<std::string> NetSnmpEnvironment(const std::string& aDir) {
  return {"MIBS=", "MIBDIRS=", "SNMP_PERSISTENT_DIR=" + aDir + "/snmp-persist",
          "SNMPCONFPATH=" + aDir + "/snmp-conf"};
}

RunResult RunSnmpTrap(const std::string& aDir, const std::vector<std::string>& aArgs,
                      const std::string& aTool) {
  static std::atomic<int> counter{0};
  std::vector<std::string> argv = {aTool};
  argv.insert(argv.end(), aArgs.begin(), aArgs.end());
  return RunProgram(argv, aDir + "/" + aTool + "-" + std::to_string(++counter),
                    std::chrono::seconds(20), NetSnmpEnvironment(aDir));
}

std::vector<std::string> SnmpV1TrapArgs(const SnmpV1Trap& aTrap) {
  std::vector<std::string> args = {
      "-v",        "1",           "-c",           aTrap.Community, aTrap.Target, aTrap.Enterprise,
      aTrap.Agent, aTrap.Generic, aTrap.Specific, aTrap.Uptime};
  args.insert(args.end(), aTrap.Bindings.begin(), aTrap.Bindings.end());
  return args;
}

std::vector<std::string> SnmpV3Args(const SnmpV3User& aUser) {
  std::vector<std::string> args = {"-v", "3"};
  if (!aUser.EngineId.empty())
    args.insert(args.end(), {"-e", aUser.EngineId});
  args.insert(args.end(), {"-u", aUser.Name, "-l", aUser.Level});
  if (aUser.Level != "noAuthNoPriv")
    args.insert(args.end(), {"-a", aUser.Auth, "-A", aUser.AuthPassword});
  if (aUser.Level == "authPriv")
    args.insert(args.end(), {"-x", aUser.Priv, "-X", aUser.PrivPassword});
  return args;
}

SnmpTrapd::SnmpTrapd(const std::string& aDir, const std::string& aConfig,
                     const std::vector<std::string>& aExtraArgs)
    : fsDir(aDir), fsLogFile(aDir + "/snmptrapd.log") {
  const std::string config = aDir + "/snmptrapd-test.conf";
  WriteWholeFile(config, aConfig);
  // The free port may be taken again before snmptrapd binds it: try again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    WriteWholeFile(fsLogFile, "");
    fwPort = FreeUdpPort();
    std::vector<std::string> argv = {"snmptrapd", "-f",      "-C",  "-c", config,
                                     "-Lf",       fsLogFile, "-On", "-m", ""};
    argv.insert(argv.end(), aExtraArgs.begin(), aExtraArgs.end());
    argv.push_back("udp:127.0.0.1:" + std::to_string(fwPort));
    fProcess = std::make_unique<ChildProcess>(argv, aDir + "/snmptrapd", NetSnmpEnvironment(aDir));
    // It announces itself once its socket is open.
    if (WaitFor(
            [&] {
              return Log().find("NET-SNMP version") != std::string::npos || !fProcess->Running();
            },
            std::chrono::seconds(10)) &&
        fProcess->Running()) {
      return;
    }
    fProcess.reset();
  }
  throw std::runtime_error("snmptrapd did not start: " + Log());
}

SnmpTrapd::~SnmpTrapd() {
  if (fProcess) {
    fProcess->Signal(SIGTERM);
    fProcess->WaitExit(std::chrono::seconds(5));
  }
}

std::string SnmpTrapd::Log() const {
  try {
    return ReadWholeFile(fsLogFile);
  } catch (...) {
    return {};
  }
}

std::string SnmpTrapd::Stderr() const {
  return fProcess ? fProcess->Stderr() : std::string();
}

bool SnmpTrapd::WaitForLog(const std::string& aText, std::chrono::milliseconds aTimeout) const {
  return WaitFor([&] { return Log().find(aText) != std::string::npos; }, aTimeout);
}

std::string WithoutWhitespace(const std::string& aText) {
  std::string out;
  for (char c : aText) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
      out += c;
  }
  return out;
}

}  // namespace tavo::test
