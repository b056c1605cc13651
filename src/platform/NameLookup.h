#pragma once
// Name resolution with a bound on the wait, for the platform's own use: a
// resolver that does not answer (a dead DNS server) must not hold the main
// thread for the resolver's own time-outs, which add up to minutes. The
// look-up runs on a thread of its own; when it takes longer than the bound,
// the caller gets EAI_AGAIN and the thread finishes on its own, freeing
// what it got. On Windows the result codes are Windows Sockets error codes
// (EAI_AGAIN is WSATRY_AGAIN).

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

#include <memory>
#include <string>

namespace tavo {

struct TAddrInfoFree {
  void operator()(addrinfo* aInfo) const {
    if (aInfo)
      ::freeaddrinfo(aInfo);
  }
};
using TAddrInfo = std::unique_ptr<addrinfo, TAddrInfoFree>;

// How long a look-up may take.
inline constexpr int kNameLookupTimeoutMs = 5000;

// getaddrinfo(aHost, aService, aHints) within aTimeoutMs. Returns its
// result code (0 on success, EAI_AGAIN when the bound passed; aErrno then
// holds ETIMEDOUT, or errno for EAI_SYSTEM; on Windows the resolver's
// WSAGetLastError).
int LookUpAddresses(const std::string& aHost, const std::string& aService, const addrinfo& aHints,
                    TAddrInfo& aResult, int& aErrno, int aTimeoutMs = kNameLookupTimeoutMs);

// The resolver LookUpAddresses calls for names; nullptr restores
// getaddrinfo. For tests of a resolver that does not answer in time.
using TGetAddrInfo = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
void SetNameResolver(TGetAddrInfo aResolver);

}  // namespace tavo
