#pragma once
// Installing and removing our own systemd service unit. The unit file goes
// to the system unit directory and systemd is told through its command line
// tool. A package installs its unit into the package unit directory instead.
// Environment variables redirect all three, for tests and packagers:
//   TAVO_UNIT_DIR          the unit directory (default /etc/systemd/system)
//   TAVO_PACKAGE_UNIT_DIR  the package unit directory (default
//                          /usr/lib/systemd/system)
//   TAVO_SYSTEMCTL         the tool called for daemon-reload, enable and
//                          disable (default "systemctl" from PATH)
// Starting and stopping other services is TServiceManager's job
// (SysServiceManager.h); the reboot request (SystemPower.h) uses the runner
// below.
//
// Main thread only. Failures throw EOSError (or EConvertError for an
// argument a unit file cannot carry) with a text for the operator; Code is
// the errno or the tool's exit status.

#include <optional>
#include <string>
#include <vector>

namespace tavo {

std::string SystemUnitDirectory();
std::string PackageUnitDirectory();
std::string SystemctlProgram();
// SystemUnitDirectory() + "/" + aServiceName + ".service"
std::string ServiceUnitPath(const std::string& aServiceName);
// PackageUnitDirectory() + "/" + aServiceName + ".service": where it exists,
// a package manages the service.
std::string PackageUnitPath(const std::string& aServiceName);

// One word of an ExecStart= line. A word with a blank, a quote or a
// backslash (or an empty one) is put in double quotes with '"' and '\'
// escaped; '%' and '$' are doubled everywhere, so systemd expands nothing.
// Control characters cannot be written: EConvertError.
std::string QuoteUnitArgument(const std::string& aArg);

struct TServiceUnit {
  std::string Name;  // the unit is Name + ".service"
  std::string Description;
  std::vector<std::string> ExecStart;  // an absolute program path, then its arguments
};

// The unit file's text: Type=notify, enabled for the multi-user target,
// running as root (no User=).
std::string ServiceUnitText(const TServiceUnit& aUnit);

// Writes the unit file (failing with EEXIST when it exists), reloads systemd
// and enables the unit for automatic start. A failure leaves nothing behind.
void InstallServiceUnit(const TServiceUnit& aUnit);
// Disables the unit, removes its file and reloads systemd. A unit file that
// does not exist fails with ENOENT, and nothing is called.
void UninstallServiceUnit(const std::string& aServiceName);

// The account the installed unit runs as: the [Service] section's User=,
// or root when it sets none; nullopt when the unit file cannot be read. The
// unit is the one systemd would load: the unit directory's, else the
// package's.
std::optional<std::string> ServiceUnitUser(const std::string& aServiceName);

// Time allowed for one call of the tool.
inline constexpr int kSystemctlTimeoutMs = 60000;

// Runs SystemctlProgram() with aArgs, at most kSystemctlTimeoutMs. A tool
// that cannot be run, takes longer or exits with another status than 0
// throws EOSError ("<tool> <args> ended with exit status N").
void RunSystemctl(const std::vector<std::string>& aArgs);

}  // namespace tavo
