#pragma once
// Sockets: UDP datagrams and TCP client streams, with name resolution that
// prefers IPv4; POSIX sockets on Linux, Windows Sockets on Windows. Errors
// throw EOSError (ETimeout for a time-out); a closed or moved-from socket
// holds no handle. A socket object is used by one thread at a time; a thread
// that must notice a stop request waits with a time-out.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Errors.h"

namespace tavo {

class ETimeout : public Exception {
 public:
  using Exception::Exception;
};

enum class TSockType { eDatagram, eStream };
enum class TAddressFamily { eIPv4, eIPv6 };

// The system's handle of a socket: a descriptor on POSIX, a SOCKET on Windows.
#ifdef _WIN32
using TSocketHandle = std::uintptr_t;
inline constexpr TSocketHandle kNoSocket = ~TSocketHandle{0};
#else
using TSocketHandle = int;
inline constexpr TSocketHandle kNoSocket = -1;
#endif

struct TSocketAddress {
  // A sockaddr_storage of the system (128 bytes, 8-aligned on both) with the
  // address family as its first 16 bits.
  alignas(8) unsigned char Storage[128] = {};
  std::uint32_t Length = 0;

  int Family() const {
    std::uint16_t family;  // sa_family_t, ADDRESS_FAMILY: 16 bits in the machine's order
    std::memcpy(&family, Storage, sizeof family);
    return family;
  }
  std::string Host() const;  // numeric form
  std::uint16_t Port() const;
  std::string ToString() const;  // "host:port", "[v6]:port"
};

// A sender's address (IPv4 or IPv6) in as little room as a queue of
// received datagrams should take.
class TSenderAddress {
 public:
  TSenderAddress() = default;
  explicit TSenderAddress(const TSocketAddress& aAddress);
  std::string Host() const;        // numeric form; empty for none
  TSocketAddress Address() const;  // to send to it
  bool operator==(const TSenderAddress& aOther) const;

 private:
  alignas(8) unsigned char fBytes[28] = {};  // a sockaddr_in6, or a sockaddr_in in front
  std::uint8_t fnLength = 0;
};

// All addresses of aHost for aPort, IPv4 ones first. An empty host is the
// wildcard address for binding. Throws EOSError with the resolver's text
// when nothing is found.
std::vector<TSocketAddress> ResolveAddresses(const std::string& aHost, std::uint16_t aPort,
                                             TSockType aSockType);
TSocketAddress ResolveAddress(const std::string& aHost, std::uint16_t aPort, TSockType aSockType);

class TUdpSocket {
 public:
  TUdpSocket() = default;
  ~TUdpSocket();
  TUdpSocket(TUdpSocket&& aOther) noexcept;
  TUdpSocket& operator=(TUdpSocket&& aOther) noexcept;
  TUdpSocket(const TUdpSocket&) = delete;
  TUdpSocket& operator=(const TUdpSocket&) = delete;

  // Creates the socket for an address family.
  void Open(TAddressFamily aFamily);
  // Creates the socket for the family of aAddress.
  void OpenFor(const TSocketAddress& aAddress);
  // Opens a socket of the address's family and binds it. An empty host binds
  // all IPv4 interfaces.
  void Bind(const std::string& aHost, std::uint16_t aPort);
  // Binds the socket already open (Open first) to aHost and aPort. After a
  // failure the socket stays open and unbound, so the bind can be tried
  // again; datagrams are never lost to a reopened socket.
  void BindOpen(const std::string& aHost, std::uint16_t aPort);
  // Asks for a receive buffer of aBytes; returns the size the system granted.
  int SetReceiveBuffer(int aBytes);
  // Waits until a datagram can be read: true when one can, false on time-out
  // (aTimeoutMs < 0 waits for ever).
  bool WaitReadable(int aTimeoutMs);
  // Reads one datagram (truncated to aLen) and its sender.
  std::size_t ReceiveFrom(char* aBuf, std::size_t aLen, TSocketAddress& aFrom);
  // Sends one datagram; opens a socket of the target's family if none is open.
  void SendTo(std::string_view aData, const TSocketAddress& aTo);

  std::uint16_t LocalPort() const;
  TSocketHandle Handle() const { return fhSocket; }
  bool IsOpen() const { return fhSocket != kNoSocket; }
  void Close();

 private:
  void OpenFamily(int aFamily);

  TSocketHandle fhSocket = kNoSocket;
};

// Reads the datagrams waiting on a socket in batches: one system call per
// batch on Linux (recvmmsg), a non-blocking read per datagram on Windows.
// Holds its buffers; used by one thread.
class TUdpBatchReader {
 public:
  explicit TUdpBatchReader(std::size_t aBatch = 32, std::size_t aMaxLen = 65536);
  ~TUdpBatchReader();
  TUdpBatchReader(const TUdpBatchReader&) = delete;
  TUdpBatchReader& operator=(const TUdpBatchReader&) = delete;
  // Reads up to the batch size of datagrams already waiting, without
  // blocking; each one is cut at aMaxLen bytes. Returns how many were read
  // (0 when none waits). Throws EOSError on a socket error.
  std::size_t Read(TUdpSocket& aSocket);
  std::string_view Data(std::size_t aIndex) const;
  const TSocketAddress& From(std::size_t aIndex) const { return fFrom[aIndex]; }

 private:
  std::size_t fnMaxLen;
  std::unique_ptr<char[]> fBuffer;  // not zero-filled: untouched pages stay unmapped
  std::vector<TSocketAddress> fFrom;
  std::vector<std::size_t> fLength;
  struct TSystemBuffers;  // the system call's own records (recvmmsg's headers)
  std::unique_ptr<TSystemBuffers> fSystem;
};

class TTcpStream {
 public:
  TTcpStream() = default;
  ~TTcpStream();
  TTcpStream(TTcpStream&& aOther) noexcept;
  TTcpStream& operator=(TTcpStream&& aOther) noexcept;
  TTcpStream(const TTcpStream&) = delete;
  TTcpStream& operator=(const TTcpStream&) = delete;

  // Tries each resolved address in turn, each within aTimeoutMs.
  void Connect(const std::string& aHost, std::uint16_t aPort, int aTimeoutMs);
  // Sends all bytes; ETimeout when the peer takes none for aTimeoutMs.
  void SendAll(std::string_view aData, int aTimeoutMs);
  // Receives what is there, at most aLen bytes; 0 means the peer closed.
  // ETimeout when nothing arrives within aTimeoutMs.
  std::size_t Receive(char* aBuf, std::size_t aLen, int aTimeoutMs);

  // A stream that waits with a deadline, for callers that drive the socket
  // through calls which must return at once (TLS): SetNonBlocking switches
  // the connected socket to non-blocking mode; WaitReadable / WaitWritable
  // wait until it can be read / written (true) or aDeadline has passed
  // (false), waiting on through signals. Both throw EOSError on failure.
  void SetNonBlocking();
  bool WaitReadable(std::chrono::steady_clock::time_point aDeadline);
  bool WaitWritable(std::chrono::steady_clock::time_point aDeadline);

  TSocketHandle Handle() const { return fhSocket; }
  bool IsOpen() const { return fhSocket != kNoSocket; }
  void Close();

 private:
  TSocketHandle fhSocket = kNoSocket;
};

}  // namespace tavo
