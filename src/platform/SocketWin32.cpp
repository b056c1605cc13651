#include "platform/Socket.h"

#include <mswsock.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <type_traits>

#include "platform/NameLookup.h"
#include "platform/WinsockStartup.h"

namespace tavo {

static_assert(std::is_same_v<TSocketHandle, SOCKET> && kNoSocket == INVALID_SOCKET);
static_assert(sizeof(TSocketAddress::Storage) == sizeof(sockaddr_storage) &&
              alignof(TSocketAddress) >= alignof(sockaddr_storage));

void StartWinsock() {
  static const int started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0)
    throw EOSError(Win32ErrorText("WSAStartup", static_cast<unsigned long>(started)), started);
}

namespace {

[[noreturn]] void ThrowSocketError(const std::string& aWhat, int aCode) {
  throw EOSError(Win32ErrorText(aWhat, static_cast<unsigned long>(aCode)), aCode);
}

void CloseSocket(TSocketHandle& aSocket) {
  if (aSocket != kNoSocket) {
    ::closesocket(aSocket);
    aSocket = kNoSocket;
  }
}

// A socket that child processes do not inherit (POSIX: SOCK_CLOEXEC).
SOCKET NewSocket(int aFamily, int aType) {
  StartWinsock();
  SOCKET s =
      ::WSASocketW(aFamily, aType, 0, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
    // A system that does not know the flag: the same, in two steps.
    s = ::WSASocketW(aFamily, aType, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s != INVALID_SOCKET)
      ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  }
  if (s == INVALID_SOCKET)
    ThrowSocketError("socket", ::WSAGetLastError());
  return s;
}

void SetNonBlockingMode(SOCKET aSocket, bool aOn) {
  u_long on = aOn ? 1 : 0;
  if (::ioctlsocket(aSocket, FIONBIO, &on) != 0)
    ThrowSocketError("ioctlsocket", ::WSAGetLastError());
}

enum class TWait { eRead, eWrite, eConnect };

constexpr long long kMaxWaitMs = 24LL * 3600 * 1000;

// select() for one socket: Windows' fd_set holds handles, not bits, so any
// handle fits. A connect that failed shows in the exception set.
bool SelectOnce(SOCKET aSocket, TWait aWait, long long aMs) {
  fd_set rd, wr, ex;
  FD_ZERO(&rd);
  FD_ZERO(&wr);
  FD_ZERO(&ex);
  if (aWait == TWait::eRead)
    FD_SET(aSocket, &rd);
  else
    FD_SET(aSocket, &wr);
  if (aWait == TWait::eConnect)
    FD_SET(aSocket, &ex);
  timeval tv{static_cast<long>(aMs / 1000), static_cast<long>(aMs % 1000 * 1000)};
  const int n = ::select(0, &rd, &wr, &ex, aMs < 0 ? nullptr : &tv);
  if (n == SOCKET_ERROR)
    ThrowSocketError("select", ::WSAGetLastError());
  return n > 0;
}

// Waits until aDeadline. Windows' timers may end a wait a little early, so
// only the clock says the deadline has passed.
bool WaitUntil(SOCKET aSocket, TWait aWait, std::chrono::steady_clock::time_point aDeadline) {
  for (;;) {
    const long long left =
        std::chrono::ceil<std::chrono::milliseconds>(aDeadline - std::chrono::steady_clock::now())
            .count();
    if (SelectOnce(aSocket, aWait, std::clamp<long long>(left, 0, kMaxWaitMs)))
      return true;
    if (std::chrono::steady_clock::now() >= aDeadline)
      return false;
  }
}

// The same with a time-out; aTimeoutMs < 0 waits for ever.
bool WaitFor(SOCKET aSocket, TWait aWait, int aTimeoutMs) {
  if (aTimeoutMs >= 0) {
    return WaitUntil(aSocket, aWait,
                     std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeoutMs));
  }
  return SelectOnce(aSocket, aWait, -1);
}

int IoLength(std::size_t aLen) {
  return static_cast<int>(std::min<std::size_t>(aLen, INT_MAX));
}

}  // namespace

std::vector<TSocketAddress> ResolveAddresses(const std::string& aHost, std::uint16_t aPort,
                                             TSockType aSockType) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = aSockType == TSockType::eStream ? SOCK_STREAM : SOCK_DGRAM;
  hints.ai_flags = aHost.empty() ? AI_PASSIVE : 0;
  TAddrInfo res;
  int err = 0;
  const int rc = LookUpAddresses(aHost, std::to_string(aPort), hints, res, err);
  if (rc != 0) {
    // The resolver's codes are Windows Sockets error codes.
    const std::string why = err == ETIMEDOUT ? "Cannot resolve \"" + aHost + "\": no answer in time"
                                             : Win32ErrorText("Cannot resolve \"" + aHost + "\"",
                                                              static_cast<unsigned long>(rc));
    throw EOSError(why, rc);
  }
  std::vector<TSocketAddress> out;
  for (const addrinfo* ai = res.get(); ai; ai = ai->ai_next) {
    if ((ai->ai_family != AF_INET && ai->ai_family != AF_INET6) ||
        ai->ai_addrlen > sizeof(sockaddr_storage))
      continue;
    TSocketAddress a;
    std::memcpy(&a.Storage, ai->ai_addr, ai->ai_addrlen);
    a.Length = static_cast<std::uint32_t>(ai->ai_addrlen);
    out.push_back(a);
  }
  std::stable_partition(out.begin(), out.end(),
                        [](const TSocketAddress& a) { return a.Family() == AF_INET; });
  if (out.empty())
    throw EOSError("Cannot resolve \"" + aHost + "\": no address", EAI_NONAME);
  return out;
}

// --- UDP ---------------------------------------------------------------------

TUdpSocket::~TUdpSocket() {
  Close();
}

TUdpSocket::TUdpSocket(TUdpSocket&& aOther) noexcept : fhSocket(aOther.fhSocket) {
  aOther.fhSocket = kNoSocket;
}

TUdpSocket& TUdpSocket::operator=(TUdpSocket&& aOther) noexcept {
  if (this != &aOther) {
    Close();
    fhSocket = aOther.fhSocket;
    aOther.fhSocket = kNoSocket;
  }
  return *this;
}

void TUdpSocket::Open(TAddressFamily aFamily) {
  OpenFamily(aFamily == TAddressFamily::eIPv6 ? AF_INET6 : AF_INET);
}

void TUdpSocket::OpenFor(const TSocketAddress& aAddress) {
  OpenFamily(aAddress.Family());
}

void TUdpSocket::OpenFamily(int aFamily) {
  Close();
  fhSocket = NewSocket(aFamily, SOCK_DGRAM);
  // Without it a port could be shared with a socket that asks for
  // SO_REUSEADDR, which would then take our datagrams.
  BOOL on = TRUE;
  ::setsockopt(fhSocket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
               sizeof on);
  // A port-unreachable answer to a datagram we sent must not fail the next
  // read, as it would on Windows (Linux reports it only on connected
  // sockets).
  BOOL report = FALSE;
  DWORD returned = 0;
  ::WSAIoctl(fhSocket, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
             nullptr);
}

void TUdpSocket::Bind(const std::string& aHost, std::uint16_t aPort) {
  const TSocketAddress addr = ResolveAddress(aHost, aPort, TSockType::eDatagram);
  OpenFamily(addr.Family());
  if (::bind(fhSocket, reinterpret_cast<const sockaddr*>(&addr.Storage),
             static_cast<int>(addr.Length)) != 0) {
    const int err = ::WSAGetLastError();
    Close();
    ThrowSocketError("bind " + addr.ToString(), err);
  }
}

void TUdpSocket::BindOpen(const std::string& aHost, std::uint16_t aPort) {
  if (fhSocket == kNoSocket)
    throw EOSError("bind: socket not open", WSAENOTSOCK);
  const TSocketAddress addr = ResolveAddress(aHost, aPort, TSockType::eDatagram);
  if (::bind(fhSocket, reinterpret_cast<const sockaddr*>(&addr.Storage),
             static_cast<int>(addr.Length)) != 0)
    ThrowSocketError("bind " + addr.ToString(), ::WSAGetLastError());
}

int TUdpSocket::SetReceiveBuffer(int aBytes) {
  ::setsockopt(fhSocket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&aBytes),
               sizeof aBytes);
  int granted = 0;
  int len = sizeof granted;
  ::getsockopt(fhSocket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&granted), &len);
  return granted;
}

bool TUdpSocket::WaitReadable(int aTimeoutMs) {
  if (fhSocket == kNoSocket)
    return false;
  return WaitFor(fhSocket, TWait::eRead, aTimeoutMs);
}

std::size_t TUdpSocket::ReceiveFrom(char* aBuf, std::size_t aLen, TSocketAddress& aFrom) {
  int fromLen = sizeof aFrom.Storage;
  const int n = ::recvfrom(fhSocket, aBuf, IoLength(aLen), 0,
                           reinterpret_cast<sockaddr*>(&aFrom.Storage), &fromLen);
  aFrom.Length = static_cast<std::uint32_t>(std::max(fromLen, 0));
  if (n >= 0)
    return static_cast<std::size_t>(n);
  const int err = ::WSAGetLastError();
  // A datagram longer than the buffer: Windows fills the buffer and reports
  // the cut as an error, Linux just cuts it.
  if (err == WSAEMSGSIZE)
    return aLen;
  ThrowSocketError("recvfrom", err);
}

void TUdpSocket::SendTo(std::string_view aData, const TSocketAddress& aTo) {
  if (fhSocket == kNoSocket)
    OpenFamily(aTo.Family());
  if (::sendto(fhSocket, aData.data(), IoLength(aData.size()), 0,
               reinterpret_cast<const sockaddr*>(&aTo.Storage),
               static_cast<int>(aTo.Length)) == SOCKET_ERROR)
    ThrowSocketError("sendto " + aTo.ToString(), ::WSAGetLastError());
}

std::uint16_t TUdpSocket::LocalPort() const {
  TSocketAddress a;
  int len = sizeof a.Storage;
  if (::getsockname(fhSocket, reinterpret_cast<sockaddr*>(&a.Storage), &len) != 0)
    return 0;
  a.Length = static_cast<std::uint32_t>(len);
  return a.Port();
}

void TUdpSocket::Close() {
  CloseSocket(fhSocket);
}

// Windows has no call that reads several datagrams: the batch is a loop of
// reads that stops at the first that would block.
struct TUdpBatchReader::TSystemBuffers {};

TUdpBatchReader::TUdpBatchReader(std::size_t aBatch, std::size_t aMaxLen)
    : fnMaxLen(aMaxLen), fBuffer(new char[aBatch * aMaxLen]), fFrom(aBatch), fLength(aBatch) {}

TUdpBatchReader::~TUdpBatchReader() = default;

std::size_t TUdpBatchReader::Read(TUdpSocket& aSocket) {
  const SOCKET s = aSocket.Handle();
  // Non-blocking for the batch only: the socket's other users expect the
  // blocking mode it was opened in.
  SetNonBlockingMode(s, true);
  struct TRestore {
    SOCKET Socket;
    ~TRestore() {
      u_long off = 0;
      ::ioctlsocket(Socket, FIONBIO, &off);
    }
  } restore{s};
  std::size_t n = 0;
  while (n < fFrom.size()) {
    TSocketAddress& from = fFrom[n];
    int fromLen = sizeof from.Storage;
    const int got = ::recvfrom(s, fBuffer.get() + n * fnMaxLen, IoLength(fnMaxLen), 0,
                               reinterpret_cast<sockaddr*>(&from.Storage), &fromLen);
    if (got >= 0) {
      fLength[n] = static_cast<std::size_t>(got);
    } else {
      const int err = ::WSAGetLastError();
      if (err == WSAEWOULDBLOCK)
        break;
      if (err == WSAECONNRESET)
        continue;  // a port-unreachable report where SIO_UDP_CONNRESET is not known
      if (err != WSAEMSGSIZE)
        ThrowSocketError("recvfrom", err);
      fLength[n] = fnMaxLen;  // cut, as on Linux
    }
    from.Length = static_cast<std::uint32_t>(std::max(fromLen, 0));
    ++n;
  }
  return n;
}

std::string_view TUdpBatchReader::Data(std::size_t aIndex) const {
  return {fBuffer.get() + aIndex * fnMaxLen, fLength[aIndex]};
}

// --- TCP ---------------------------------------------------------------------

TTcpStream::~TTcpStream() {
  Close();
}

TTcpStream::TTcpStream(TTcpStream&& aOther) noexcept : fhSocket(aOther.fhSocket) {
  aOther.fhSocket = kNoSocket;
}

TTcpStream& TTcpStream::operator=(TTcpStream&& aOther) noexcept {
  if (this != &aOther) {
    Close();
    fhSocket = aOther.fhSocket;
    aOther.fhSocket = kNoSocket;
  }
  return *this;
}

void TTcpStream::Connect(const std::string& aHost, std::uint16_t aPort, int aTimeoutMs) {
  Close();
  std::string lastError = "no address";
  int lastCode = 0;
  bool timedOut = false;
  for (const TSocketAddress& addr : ResolveAddresses(aHost, aPort, TSockType::eStream)) {
    SOCKET s = INVALID_SOCKET;
    try {
      s = NewSocket(addr.Family(), SOCK_STREAM);
      SetNonBlockingMode(s, true);
    } catch (const EOSError& e) {
      if (s != INVALID_SOCKET)
        ::closesocket(s);
      lastCode = e.Code;
      lastError = e.what();
      timedOut = false;
      continue;
    }
    int err = 0;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&addr.Storage),
                  static_cast<int>(addr.Length)) != 0) {
      err = ::WSAGetLastError();
      if (err == WSAEWOULDBLOCK) {
        if (!WaitFor(s, TWait::eConnect, aTimeoutMs)) {
          ::closesocket(s);
          lastCode = WSAETIMEDOUT;
          lastError = "Connection to " + addr.ToString() + " timed out";
          timedOut = true;
          continue;
        }
        int len = sizeof err;
        err = 0;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
      }
    }
    if (err != 0) {
      lastCode = err;
      lastError = Win32ErrorText("connect " + addr.ToString(), static_cast<unsigned long>(err));
      timedOut = false;
      ::closesocket(s);
      continue;
    }
    // The stream stays non-blocking: Windows has no per-call MSG_DONTWAIT,
    // and every wait is bounded by select() anyway.
    fhSocket = s;
    return;
  }
  if (timedOut)
    throw ETimeout(lastError);
  throw EOSError(lastError, lastCode);
}

void TTcpStream::SendAll(std::string_view aData, int aTimeoutMs) {
  while (!aData.empty()) {
    if (!WaitFor(fhSocket, TWait::eWrite, aTimeoutMs))
      throw ETimeout("Send timed out");
    const int n = ::send(fhSocket, aData.data(), IoLength(aData.size()), 0);
    if (n == SOCKET_ERROR) {
      const int err = ::WSAGetLastError();
      if (err == WSAEWOULDBLOCK)
        continue;
      ThrowSocketError("send", err);
    }
    aData.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::size_t TTcpStream::Receive(char* aBuf, std::size_t aLen, int aTimeoutMs) {
  for (;;) {
    if (!WaitFor(fhSocket, TWait::eRead, aTimeoutMs))
      throw ETimeout("Receive timed out");
    const int n = ::recv(fhSocket, aBuf, IoLength(aLen), 0);
    if (n >= 0)
      return static_cast<std::size_t>(n);
    const int err = ::WSAGetLastError();
    if (err != WSAEWOULDBLOCK)
      ThrowSocketError("recv", err);
  }
}

void TTcpStream::SetNonBlocking() {
  SetNonBlockingMode(fhSocket, true);
}

bool TTcpStream::WaitReadable(std::chrono::steady_clock::time_point aDeadline) {
  return WaitUntil(fhSocket, TWait::eRead, aDeadline);
}

bool TTcpStream::WaitWritable(std::chrono::steady_clock::time_point aDeadline) {
  return WaitUntil(fhSocket, TWait::eWrite, aDeadline);
}

void TTcpStream::Close() {
  CloseSocket(fhSocket);
}

}  // namespace tavo
