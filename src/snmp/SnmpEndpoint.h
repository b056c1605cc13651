#pragma once
// TSNMPSend is an SNMP endpoint: one UDP socket, a query record to send and
// a reply record to receive into. Senders make one per trap: set the target,
// fill Query(), call SendTrap, free it. Sending is fire-and-forget: one
// datagram, no engine discovery, nothing received afterwards.
//
// The trap receiver holds its datagrams in one: Sock() is the socket it
// binds and reads, FBuffer the datagram as received, FHostIP its sender and
// Reply() the record it is decoded into.
//
// Owns its socket and both records. Used by one thread from creation to
// destruction.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Socket.h"
#include "snmp/SnmpMessage.h"

namespace tavo {

class TSNMPSend {
 public:
  TSNMPSend();
  ~TSNMPSend();
  TSNMPSend(const TSNMPSend&) = delete;
  TSNMPSend& operator=(const TSNMPSend&) = delete;

  // Resolves FTargetHost (IPv4 preferred) and FTargetPort (decimal), opens a
  // socket of the target's family (bound to FIPInterface when that is not
  // the any-address; the platform picks the source port), encodes Query()
  // into FBuffer and sends it as one datagram. True when it was handed to
  // the network. A socket error (unresolvable host, a port that is not a
  // number, a refused send) gives false and never throws. An encoding error
  // (ESnmpError, e.g. an empty password where the level needs one) reaches
  // the caller, and nothing is sent.
  bool SendTrap();

  TSNMPRec& Query() { return *FQuery; }
  TSNMPRec& Reply() { return *FReply; }
  TUdpSocket& Sock() { return *FSock; }

  std::string FTargetHost = "127.0.0.1";
  std::string FTargetPort = "161";
  std::string FIPInterface = "0.0.0.0";
  std::int32_t FTimeout = 5000;  // receive wait in ms; not used when sending
  std::unique_ptr<TUdpSocket> FSock;
  std::string FBuffer;  // the last datagram sent or received
  std::string FHostIP;  // sender of the last datagram received
  std::unique_ptr<TSNMPRec> FQuery;
  std::unique_ptr<TSNMPRec> FReply;
};

// A port given as text: decimal digits only, 0 to 65535.
bool ParsePortText(const std::string& aText, std::uint16_t& aPort);

}  // namespace tavo
