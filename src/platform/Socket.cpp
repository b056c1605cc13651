#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <type_traits>

#include "platform/NameLookup.h"

namespace tavo {

static_assert(sizeof(TSocketAddress::Storage) == sizeof(sockaddr_storage) &&
              alignof(TSocketAddress) >= alignof(sockaddr_storage));
static_assert(std::is_same_v<decltype(TSocketAddress::Length), socklen_t>);

namespace {

void CloseFd(int& aFd) {
  if (aFd >= 0) {
    ::close(aFd);
    aFd = -1;
  }
}

constexpr long long kMaxPollMs = 24LL * 3600 * 1000;  // poll() takes an int

// poll() for one event until aDeadline, restarting after signals. Returns
// false once the deadline has passed.
bool PollUntil(int aFd, short aEvents, std::chrono::steady_clock::time_point aDeadline) {
  for (;;) {
    // Rounded up, so that a time-out is never reported before the deadline.
    const long long left =
        std::chrono::ceil<std::chrono::milliseconds>(aDeadline - std::chrono::steady_clock::now())
            .count();
    pollfd p{aFd, aEvents, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::clamp<long long>(left, 0, kMaxPollMs)));
    if (n > 0)
      return true;
    if (n == 0 && left <= kMaxPollMs)
      return false;
    if (n < 0 && errno != EINTR)
      throw EOSError(ErrnoText("poll", errno), errno);
  }
}

// The same with a time-out; aTimeoutMs < 0 waits for ever.
bool PollFor(int aFd, short aEvents, int aTimeoutMs) {
  if (aTimeoutMs >= 0) {
    return PollUntil(aFd, aEvents,
                     std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeoutMs));
  }
  for (;;) {
    pollfd p{aFd, aEvents, 0};
    if (::poll(&p, 1, -1) > 0)
      return true;
    if (errno != EINTR)
      throw EOSError(ErrnoText("poll", errno), errno);
  }
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
    const int code = rc == EAI_SYSTEM ? err : rc;
    const std::string why = err == ETIMEDOUT ? "no answer in time" : ::gai_strerror(rc);
    throw EOSError("Cannot resolve \"" + aHost + "\": " + why, code);
  }
  std::vector<TSocketAddress> out;
  for (const addrinfo* ai = res.get(); ai; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET && ai->ai_family != AF_INET6)
      continue;
    TSocketAddress a;
    std::memcpy(&a.Storage, ai->ai_addr, ai->ai_addrlen);
    a.Length = ai->ai_addrlen;
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
  aOther.fhSocket = -1;
}

TUdpSocket& TUdpSocket::operator=(TUdpSocket&& aOther) noexcept {
  if (this != &aOther) {
    Close();
    fhSocket = aOther.fhSocket;
    aOther.fhSocket = -1;
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
  fhSocket = ::socket(aFamily, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fhSocket < 0)
    throw EOSError(ErrnoText("socket", errno), errno);
}

void TUdpSocket::Bind(const std::string& aHost, std::uint16_t aPort) {
  const TSocketAddress addr = ResolveAddress(aHost, aPort, TSockType::eDatagram);
  OpenFamily(addr.Family());
  if (::bind(fhSocket, reinterpret_cast<const sockaddr*>(&addr.Storage), addr.Length) != 0) {
    const int err = errno;
    Close();
    throw EOSError(ErrnoText("bind " + addr.ToString(), err), err);
  }
}

void TUdpSocket::BindOpen(const std::string& aHost, std::uint16_t aPort) {
  if (fhSocket < 0)
    throw EOSError("bind: socket not open", EBADF);
  const TSocketAddress addr = ResolveAddress(aHost, aPort, TSockType::eDatagram);
  if (::bind(fhSocket, reinterpret_cast<const sockaddr*>(&addr.Storage), addr.Length) != 0) {
    const int err = errno;
    throw EOSError(ErrnoText("bind " + addr.ToString(), err), err);
  }
}

int TUdpSocket::SetReceiveBuffer(int aBytes) {
  // SO_RCVBUF is capped at net.core.rmem_max (about 208 KiB on a stock
  // system); with CAP_NET_ADMIN, as the service has, the size is granted.
  if (::setsockopt(fhSocket, SOL_SOCKET, SO_RCVBUFFORCE, &aBytes, sizeof aBytes) != 0)
    ::setsockopt(fhSocket, SOL_SOCKET, SO_RCVBUF, &aBytes, sizeof aBytes);
  int granted = 0;
  socklen_t len = sizeof granted;
  ::getsockopt(fhSocket, SOL_SOCKET, SO_RCVBUF, &granted, &len);
  return granted;
}

bool TUdpSocket::WaitReadable(int aTimeoutMs) {
  if (fhSocket < 0)
    return false;
  return PollFor(fhSocket, POLLIN, aTimeoutMs);
}

std::size_t TUdpSocket::ReceiveFrom(char* aBuf, std::size_t aLen, TSocketAddress& aFrom) {
  for (;;) {
    aFrom.Length = sizeof aFrom.Storage;
    const ssize_t n = ::recvfrom(fhSocket, aBuf, aLen, 0,
                                 reinterpret_cast<sockaddr*>(&aFrom.Storage), &aFrom.Length);
    if (n >= 0)
      return static_cast<std::size_t>(n);
    if (errno != EINTR)
      throw EOSError(ErrnoText("recvfrom", errno), errno);
  }
}

void TUdpSocket::SendTo(std::string_view aData, const TSocketAddress& aTo) {
  if (fhSocket < 0)
    OpenFamily(aTo.Family());
  for (;;) {
    const ssize_t n = ::sendto(fhSocket, aData.data(), aData.size(), 0,
                               reinterpret_cast<const sockaddr*>(&aTo.Storage), aTo.Length);
    if (n >= 0)
      return;
    if (errno != EINTR)
      throw EOSError(ErrnoText("sendto " + aTo.ToString(), errno), errno);
  }
}

std::uint16_t TUdpSocket::LocalPort() const {
  TSocketAddress a;
  a.Length = sizeof a.Storage;
  if (::getsockname(fhSocket, reinterpret_cast<sockaddr*>(&a.Storage), &a.Length) != 0)
    return 0;
  return a.Port();
}

void TUdpSocket::Close() {
  CloseFd(fhSocket);
}

struct TUdpBatchReader::TSystemBuffers {
  std::vector<mmsghdr> Msgs;
  std::vector<iovec> Iov;
};

TUdpBatchReader::TUdpBatchReader(std::size_t aBatch, std::size_t aMaxLen)
    : fnMaxLen(aMaxLen),
      fBuffer(new char[aBatch * aMaxLen]),
      fFrom(aBatch),
      fLength(aBatch),
      fSystem(new TSystemBuffers{std::vector<mmsghdr>(aBatch), std::vector<iovec>(aBatch)}) {
  auto& msgs = fSystem->Msgs;
  auto& iov = fSystem->Iov;
  for (std::size_t i = 0; i < aBatch; ++i) {
    iov[i].iov_base = fBuffer.get() + i * fnMaxLen;
    iov[i].iov_len = fnMaxLen;
    msgs[i].msg_hdr.msg_iov = &iov[i];
    msgs[i].msg_hdr.msg_iovlen = 1;
    msgs[i].msg_hdr.msg_name = &fFrom[i].Storage;
  }
}

TUdpBatchReader::~TUdpBatchReader() = default;

std::size_t TUdpBatchReader::Read(TUdpSocket& aSocket) {
  auto& msgs = fSystem->Msgs;
  const std::size_t batch = msgs.size();
  for (auto& m : msgs)
    m.msg_hdr.msg_namelen = sizeof(sockaddr_storage);
  for (;;) {
    const int n = ::recvmmsg(aSocket.Handle(), msgs.data(), static_cast<unsigned>(batch),
                             MSG_DONTWAIT, nullptr);
    if (n >= 0) {
      for (int i = 0; i < n; ++i) {
        fFrom[i].Length = msgs[i].msg_hdr.msg_namelen;
        fLength[i] = std::min<std::size_t>(msgs[i].msg_len, fnMaxLen);
      }
      return static_cast<std::size_t>(n);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK)
      return 0;
    if (errno != EINTR)
      throw EOSError(ErrnoText("recvmmsg", errno), errno);
  }
}

std::string_view TUdpBatchReader::Data(std::size_t aIndex) const {
  return {fBuffer.get() + aIndex * fnMaxLen, fLength[aIndex]};
}

// --- TCP ---------------------------------------------------------------------

TTcpStream::~TTcpStream() {
  Close();
}

TTcpStream::TTcpStream(TTcpStream&& aOther) noexcept : fhSocket(aOther.fhSocket) {
  aOther.fhSocket = -1;
}

TTcpStream& TTcpStream::operator=(TTcpStream&& aOther) noexcept {
  if (this != &aOther) {
    Close();
    fhSocket = aOther.fhSocket;
    aOther.fhSocket = -1;
  }
  return *this;
}

void TTcpStream::Connect(const std::string& aHost, std::uint16_t aPort, int aTimeoutMs) {
  Close();
  std::string lastError = "no address";
  int lastCode = 0;
  for (const TSocketAddress& addr : ResolveAddresses(aHost, aPort, TSockType::eStream)) {
    int fd = ::socket(addr.Family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
      lastCode = errno;
      lastError = ErrnoText("socket", errno);
      continue;
    }
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr.Storage), addr.Length);
    if (rc != 0 && errno == EINPROGRESS) {
      if (!PollFor(fd, POLLOUT, aTimeoutMs)) {
        ::close(fd);
        lastCode = ETIMEDOUT;
        lastError = "Connection to " + addr.ToString() + " timed out";
        continue;
      }
      int err = 0;
      socklen_t len = sizeof err;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
      rc = err == 0 ? 0 : -1;
      errno = err;
    }
    if (rc != 0) {
      lastCode = errno;
      lastError = ErrnoText("connect " + addr.ToString(), errno);
      ::close(fd);
      continue;
    }
    // Blocking from here on; every wait is bounded by poll().
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fhSocket = fd;
    return;
  }
  if (lastCode == ETIMEDOUT)
    throw ETimeout(lastError);
  throw EOSError(lastError, lastCode);
}

void TTcpStream::SendAll(std::string_view aData, int aTimeoutMs) {
  while (!aData.empty()) {
    if (!PollFor(fhSocket, POLLOUT, aTimeoutMs))
      throw ETimeout("Send timed out");
    const ssize_t n = ::send(fhSocket, aData.data(), aData.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN)
        continue;
      throw EOSError(ErrnoText("send", errno), errno);
    }
    aData.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::size_t TTcpStream::Receive(char* aBuf, std::size_t aLen, int aTimeoutMs) {
  for (;;) {
    if (!PollFor(fhSocket, POLLIN, aTimeoutMs))
      throw ETimeout("Receive timed out");
    const ssize_t n = ::recv(fhSocket, aBuf, aLen, MSG_DONTWAIT);
    if (n >= 0)
      return static_cast<std::size_t>(n);
    if (errno == EINTR || errno == EAGAIN)
      continue;
    throw EOSError(ErrnoText("recv", errno), errno);
  }
}

void TTcpStream::SetNonBlocking() {
  const int flags = ::fcntl(fhSocket, F_GETFL);
  if (flags < 0 || ::fcntl(fhSocket, F_SETFL, flags | O_NONBLOCK) != 0)
    throw EOSError(ErrnoText("fcntl", errno), errno);
}

bool TTcpStream::WaitReadable(std::chrono::steady_clock::time_point aDeadline) {
  return PollUntil(fhSocket, POLLIN, aDeadline);
}

bool TTcpStream::WaitWritable(std::chrono::steady_clock::time_point aDeadline) {
  return PollUntil(fhSocket, POLLOUT, aDeadline);
}

void TTcpStream::Close() {
  CloseFd(fhSocket);
}

}  // namespace tavo
