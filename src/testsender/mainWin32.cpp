// tavot.exe: the test trap sender on Windows. Without arguments it opens its
// window; with options it sends test traps from the command line and exits.
// A GUI-subsystem program, so that a start from Explorer opens no console;
// started from a console it attaches to it and prints there.

#include <iostream>
#include <string>
#include <vector>

#include "platform/Paths.h"
#include "platform/WinStartup.h"
#include "testsender/TavotCommandLine.h"
#include "testsender/TestSenderWin32.h"

int main() {
  tavo::AttachParentConsole();
  const std::string program = tavo::ExtractFileName(tavo::ExecutablePath());
  const std::vector<std::string> args = tavo::ProcessArguments();
  if (args.empty())
    return tavo::RunTestSenderWindow();
  const int status = tavo::RunTavotCommandLine(program, args, std::cout, std::cerr);
  std::cout.flush();
  std::cerr.flush();
  return status;
}
