#include "platform/NameLookup.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include "platform/WinsockStartup.h"
#endif

namespace tavo {
namespace {

// What differs between the platforms: Windows Sockets must be started and
// keep their error apart from errno.
#ifdef _WIN32
void PrepareResolver() {
  StartWinsock();
}
int ResolverError(int aResult) {
  return aResult != 0 ? ::WSAGetLastError() : 0;
}
#else
void PrepareResolver() {}
int ResolverError(int) {
  return errno;
}
#endif

// A plain function for the pointer (Windows declares getaddrinfo WSAAPI).
int SystemResolver(const char* aHost, const char* aService, const addrinfo* aHints,
                   addrinfo** aResult) {
  return ::getaddrinfo(aHost, aService, aHints, aResult);
}

std::atomic<TGetAddrInfo> gResolver{nullptr};

TGetAddrInfo Resolver() {
  const TGetAddrInfo r = gResolver.load();
  return r ? r : &SystemResolver;
}

struct TLookup {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  bool Abandoned = false;
  int Result = 0;
  int Errno = 0;
  addrinfo* Info = nullptr;
};

bool IsNumeric(const std::string& aHost) {
  unsigned char buf[sizeof(in6_addr)];
  return aHost.empty() || ::inet_pton(AF_INET, aHost.c_str(), buf) == 1 ||
         ::inet_pton(AF_INET6, aHost.c_str(), buf) == 1;
}

}  // namespace

int LookUpAddresses(const std::string& aHost, const std::string& aService, const addrinfo& aHints,
                    TAddrInfo& aResult, int& aErrno, int aTimeoutMs) {
  const char* host = aHost.empty() ? nullptr : aHost.c_str();
  const char* service = aService.empty() ? nullptr : aService.c_str();
  aErrno = 0;
  PrepareResolver();
  // Numbers need no resolver: no thread for them.
  if (IsNumeric(aHost)) {
    addrinfo* info = nullptr;
    const int rc = ::getaddrinfo(host, service, &aHints, &info);
    aErrno = ResolverError(rc);
    aResult.reset(info);
    return rc;
  }
  auto lookup = std::make_shared<TLookup>();
  try {
    std::thread([lookup, name = aHost, svc = aService, hints = aHints, resolve = Resolver()] {
      addrinfo* info = nullptr;
      const int rc = resolve(name.c_str(), svc.empty() ? nullptr : svc.c_str(), &hints, &info);
      const int err = ResolverError(rc);
      std::lock_guard lock(lookup->Mutex);
      if (lookup->Abandoned) {
        if (info)
          ::freeaddrinfo(info);
      } else {
        lookup->Result = rc;
        lookup->Errno = err;
        lookup->Info = info;
      }
      lookup->Finished = true;
      lookup->Done.notify_all();
    }).detach();
  } catch (const std::exception&) {
    // No thread to spare: resolve here, unbounded, as a last resort.
    addrinfo* info = nullptr;
    const int rc = ::getaddrinfo(host, service, &aHints, &info);
    aErrno = ResolverError(rc);
    aResult.reset(info);
    return rc;
  }
  std::unique_lock lock(lookup->Mutex);
  if (!lookup->Done.wait_for(lock, std::chrono::milliseconds(aTimeoutMs),
                             [&] { return lookup->Finished; })) {
    lookup->Abandoned = true;
    aErrno = ETIMEDOUT;
    return EAI_AGAIN;
  }
  aErrno = lookup->Errno;
  aResult.reset(lookup->Info);
  lookup->Info = nullptr;
  return lookup->Result;
}

void SetNameResolver(TGetAddrInfo aResolver) {
  gResolver = aResolver;
}

}  // namespace tavo
