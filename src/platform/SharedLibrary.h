#pragma once
// Loading a shared library at run time (dlopen), for parts of the program
// that only some runs need.

#include <string>

namespace tavo {

// Loads aPath with every symbol resolved at once; nullptr with aError set
// when it cannot be loaded. The library stays loaded until the process ends.
void* LoadSharedLibrary(const std::string& aPath, std::string& aError);
// The address of aName in aLibrary, or nullptr.
void* SharedLibrarySymbol(void* aLibrary, const char* aName);

}  // namespace tavo
