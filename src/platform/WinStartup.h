#pragma once
// What a Windows GUI-subsystem program needs at its start to act as a
// command-line program: the parent's console, the arguments as UTF-8, and
// an absolute path for an argument. Windows only; main thread, before any
// other thread starts.

#include <string>
#include <vector>

namespace tavo {

// Attaches to the console of the process that started us, if it has one,
// and points standard output and error at it where they lead nowhere (a
// handle the parent redirected is kept). true when what goes to standard
// error is read: a console is attached, or the parent gave a file or pipe.
bool AttachParentConsole();

// A console of our own when AttachParentConsole found none (a new one on a
// desktop; under Wine the terminal's): console control events (Ctrl+C,
// the console's close) reach only a process with a console. Standard
// output and error keep where they lead. true when the process has one.
bool EnsureConsole();

// The command line's arguments after the program's name (CommandLineToArgvW),
// in UTF-8: argv would carry the ANSI code page's text.
std::vector<std::string> ProcessArguments();

// aPath made absolute against the current folder (GetFullPathNameW); aPath
// itself when that fails.
std::string FullPathName(const std::string& aPath);

}  // namespace tavo
