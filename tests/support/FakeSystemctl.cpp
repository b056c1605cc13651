#include "FakeSystemctl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace tavo::test {

FakeSystemctl::FakeSystemctl(const TempDir& aDir) : fDir(aDir) {
  fsProgram = aDir.Write("systemctl",
                         "#!/bin/sh\n"
                         "d=$(dirname \"$0\")\n"
                         "echo \"$*\" >> \"$d/calls\"\n"
                         "[ -f \"$d/fail-$1\" ] && exit $(cat \"$d/fail-$1\")\n"
                         "exit 0\n");
  ::chmod(fsProgram.c_str(), 0755);
  fsUnitDir = aDir.File("units");
  ::mkdir(fsUnitDir.c_str(), 0755);
}

FakeSystemctl::~FakeSystemctl() {
  if (fbInstalled) {
    ::unsetenv("TAVO_SYSTEMCTL");
    ::unsetenv("TAVO_UNIT_DIR");
  }
}

std::string FakeSystemctl::UnitPath(const std::string& aName) const {
  return fsUnitDir + "/" + aName + ".service";
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

void FakeSystemctl::Install() const {
  ::setenv("TAVO_SYSTEMCTL", fsProgram.c_str(), 1);
  ::setenv("TAVO_UNIT_DIR", fsUnitDir.c_str(), 1);
  fbInstalled = true;
}

}  // namespace tavo::test
