#pragma once
// A recording stand-in for systemctl, a unit directory and a package unit
// directory, all in a test's folder, so that no test installs or touches a
// real service, nor sees a package's. The script appends its arguments as
// one line to "<folder>/calls", and a verb named in a file
// "<folder>/fail-<verb>" exits with the status written there.
// "show --property=LoadState|ActiveState --value -- UNIT" answers for the
// units added with AddUnit: "loaded" and their state; for any other unit
// "not-found" and "inactive", as systemctl does.

#include <string>

#include "TestSupport.h"

namespace tavo::test {

class FakeSystemctl {
 public:
  // Writes the script and creates "<folder>/units" and "<folder>/package-units".
  explicit FakeSystemctl(const TempDir& aDir);

  const std::string& Program() const { return fsProgram; }
  const std::string& UnitDir() const { return fsUnitDir; }
  std::string UnitPath(const std::string& aName = "ORVO_Tavo") const;
  const std::string& PackageUnitDir() const { return fsPackageUnitDir; }
  std::string PackageUnitPath(const std::string& aName = "ORVO_Tavo") const;
  // The recorded calls, one line each ("daemon-reload\nenable X.service\n").
  std::string Calls() const;
  void ClearCalls() const;
  // Makes aVerb exit with aStatus from now on.
  void Fail(const std::string& aVerb, int aStatus = 1) const;
  // Makes the unit aUnit ("agent.service") known, in aActiveState.
  void AddUnit(const std::string& aUnit, const std::string& aActiveState = "active") const;
  // Makes every call hang for 30 s from now on.
  void Hang() const;
  // TAVO_SYSTEMCTL, TAVO_UNIT_DIR and TAVO_PACKAGE_UNIT_DIR for a child's
  // environment.
  std::string SystemctlEnv() const { return "TAVO_SYSTEMCTL=" + fsProgram; }
  std::string UnitDirEnv() const { return "TAVO_UNIT_DIR=" + fsUnitDir; }
  std::string PackageUnitDirEnv() const { return "TAVO_PACKAGE_UNIT_DIR=" + fsPackageUnitDir; }
  // Sets all three in this process's environment (until the object goes).
  void Install() const;
  ~FakeSystemctl();

 private:
  const TempDir& fDir;
  std::string fsProgram;
  std::string fsUnitDir;
  std::string fsPackageUnitDir;
  mutable bool fbInstalled = false;
};

}  // namespace tavo::test
