#include <string>

#include "platform/SharedLibrary.h"
#include "recipients/OpenSslLibrary.h"

namespace tavo {

bool FillOpenSslTable(TOpenSsl& aTable, std::string& aError) {
  static constexpr const char* kLibSsl = "libssl.so.3";
  void* library = LoadSharedLibrary(kLibSsl, aError);
  if (!library)
    return false;
    // The handle resolves libcrypto's functions too: libssl depends on it.
#define TAVO_OPENSSL_RESOLVE(name)                                                        \
  aTable.name = reinterpret_cast<decltype(&::name)>(SharedLibrarySymbol(library, #name)); \
  if (!aTable.name && aError.empty())                                                     \
    aError = std::string(kLibSsl) + " lacks " #name;
  TAVO_OPENSSL_FUNCTIONS(TAVO_OPENSSL_RESOLVE)
#undef TAVO_OPENSSL_RESOLVE
  return aError.empty();
}

}  // namespace tavo
