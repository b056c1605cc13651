#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace tavo {

void* LoadSharedLibrary(const std::string& aPath, std::string& aError) {
  void* library = ::dlopen(aPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = ::dlerror();
    aError = why ? why : "cannot load " + aPath;
  }
  return library;
}

void* SharedLibrarySymbol(void* aLibrary, const char* aName) {
  return ::dlsym(aLibrary, aName);
}

}  // namespace tavo
