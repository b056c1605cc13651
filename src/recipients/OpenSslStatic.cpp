#include <string>

#include "recipients/OpenSslLibrary.h"

namespace tavo {

// OpenSSL is linked into the program: its functions are simply there.
bool FillOpenSslTable(TOpenSsl& aTable, std::string&) {
#define TAVO_OPENSSL_ADDRESS(name) aTable.name = &::name;
  TAVO_OPENSSL_FUNCTIONS(TAVO_OPENSSL_ADDRESS)
#undef TAVO_OPENSSL_ADDRESS
  return true;
}

}  // namespace tavo
