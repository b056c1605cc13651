#pragma once
// Where an error that escapes an entry from the main loop goes. The loop
// keeps every exception out of itself (platform/MainLoop.h: Guarded,
// SetEscapedErrorHandler); the run mode installs the handler: the console's
// exception hook in desktop mode, ServiceErrorHandler in service mode (the
// system log, and standard error as well in a --foreground run).
//
// Main thread only.

#include <string>

#include "platform/MainLoop.h"

namespace tavo {

// Service mode: an error entry in the system log; in a --foreground run the
// same text also goes to standard error.
void ServiceErrorHandler(const std::string& aText);
// Writes aText where a service's system-log entries go (system log, and
// standard error in a --foreground run): under aSource, the service's name
// for the service object's own entries, else (empty) the executable's.
void WriteServiceLog(const std::string& aText, bool aError, const std::string& aSource = {});

}  // namespace tavo
