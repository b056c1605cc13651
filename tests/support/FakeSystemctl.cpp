#include "FakeSystemctl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace tavo::test {

FakeSystemctl::FakeSystemctl(const TempDir& aDir) : fDir(aDir) {
  fsProgram =
      aDir.Write("systemctl",
                 "#!/bin/sh\n"
                 "d=$(dirname \"$0\")\n"
                 "echo \"$*\" >> \"$d/calls\"\n"
                 "[ -f \"$d/fail-$1\" ] && exit $(cat \"$d/fail-$1\")\n"
                 "[ -f \"$d/hang\" ] && sleep 30\n"
                 "if [ \"$1\" = show ]; then\n"
                 "  for n in \"$@\"; do last=$n; done\n"
                 "  state=\"$d/state-$last\"\n"
                 "  case \"$2\" in\n"
                 "  --property=LoadState)\n"
                 "    if [ -f \"$state\" ]; then echo loaded; else echo not-found; fi ;;\n"
                 "  --property=ActiveState)\n"
                 "    if [ -f \"$state\" ]; then cat \"$state\"; else echo inactive; fi ;;\n"
                 "  esac\n"
                 "fi\n"
                 "exit 0\n");
  ::chmod(fsProgram.c_str(), 0755);
  fsUnitDir = aDir.File("units");
  ::mkdir(fsUnitDir.c_str(), 0755);
  fsPackageUnitDir = aDir.File("package-units");
  ::mkdir(fsPackageUnitDir.c_str(), 0755);
}

FakeSystemctl::~FakeSystemctl() {
  if (fbInstalled) {
    ::unsetenv("TAVO_SYSTEMCTL");
    ::unsetenv("TAVO_UNIT_DIR");
    ::unsetenv("TAVO_PACKAGE_UNIT_DIR");
  }
}

std::string FakeSystemctl::UnitPath(const std::string& aName) const {
  return fsUnitDir + "/" + aName + ".service";
}

std::string FakeSystemctl::PackageUnitPath(const std::string& aName) const {
  return fsPackageUnitDir + "/" + aName + ".service";
}

std::string FakeSystemctl::Calls() const {
  struct stat st {};
  return ::stat(fDir.File("calls").c_str(), &st) == 0 ? fDir.Read("calls") : "";
}

void FakeSystemctl::ClearCalls() const {
  ::unlink(fDir.File("calls").c_str());
}

void FakeSystemctl::Fail(const std::string& aVerb, int aStatus) const {
  fDir.Write("fail-" + aVerb, std::to_string(aStatus) + "\n");
}

void FakeSystemctl::AddUnit(const std::string& aUnit, const std::string& aActiveState) const {
  fDir.Write("state-" + aUnit, aActiveState + "\n");
}

void FakeSystemctl::Hang() const {
  fDir.Write("hang", "");
}

void FakeSystemctl::Install() const {
  ::setenv("TAVO_SYSTEMCTL", fsProgram.c_str(), 1);
  ::setenv("TAVO_UNIT_DIR", fsUnitDir.c_str(), 1);
  ::setenv("TAVO_PACKAGE_UNIT_DIR", fsPackageUnitDir.c_str(), 1);
  fbInstalled = true;
}

}  // namespace tavo::test
