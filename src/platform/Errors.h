#pragma once
// The system's base exception: an error that carries its message text.
// Every error the system raises derives from it, so a handler that reports
// errors needs to know nothing but `what()`.

#include <stdexcept>
#include <string>

namespace tavo {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& aMessage) : std::runtime_error(aMessage) {}
  const char* Message() const noexcept { return what(); }
};

// Text that could not be converted (numbers, format strings, hex digits).
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A failed operating-system call; `Code` is errno (on Windows the Win32
// error code of the file calls) or the called tool's exit status.
class EOSError : public Exception {
 public:
  EOSError(const std::string& aMessage, int aCode) : Exception(aMessage), Code(aCode) {}
  int Code;
};

// Builds "<what>: <strerror(code)>" for an errno value.
std::string ErrnoText(const std::string& aWhat, int aCode);
// The platform's text for the error code of its file calls alone:
// strerror(code) for an errno value; on Windows the system's message for a
// Win32 error code (GetLastError).
std::string OSErrorText(int aCode);

#ifdef _WIN32
// Builds "<what>: <the system's text> (<code>)" for a Windows error code, as
// GetLastError or WSAGetLastError return them; the text comes in UTF-8.
std::string Win32ErrorText(const std::string& aWhat, unsigned long aCode);
#endif

}  // namespace tavo
