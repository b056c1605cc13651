#pragma once
// Datagrams an attacker on the network would send the receiver: nested
// constructed items that claim every byte after their own header, in each
// place a decoder steps into, a trap with more bindings than are kept, and
// SNMPv3 AuthPriv messages from engines never seen with a code that cannot
// be right. For the decoder's and the receiver's tests, the fuzz seeds and
// the end-to-end burst. Plain functions; any thread.

#include <cstddef>
#include <string>
#include <vector>

#include "snmp/SnmpMessage.h"

namespace tavo::test {

// Constructed items of aTag, each the only content of the one before and
// claiming every byte after its own header, aBytes in all (or a few more).
std::string ConstructedChain(std::size_t aBytes, unsigned char aTag = 0x30);

// Where a chain sits.
enum class TNesting {
  eBindingList,         // the bindings of an SNMPv1 trap: each "binding" a chain link
  eOid,                 // a binding's OID position (constructed OBJECT IDENTIFIER)
  eValue,               // a binding's value position (constructed OCTET STRING)
  ePduHeader,           // the enterprise position of an SNMPv1 Trap-PDU
  eSecurityParameters,  // an SNMPv3 message's security parameters
};
const char* NestingName(TNesting aPlace);
// A message of about aBytes with a chain in aPlace.
std::string NestedDatagram(TNesting aPlace, std::size_t aBytes);

// An SNMPv1 trap (community "public") with aCount bindings.
std::string ManyBindingsTrap(std::size_t aCount);

// aCount SNMPv3 AuthPriv traps of the receiver's default user at aAuth and
// aPriv, each with a different random 12-byte engine ID and the
// authentication code of another password.
std::vector<std::string> ForgedAuthPrivTraps(std::size_t aCount, TV3Auth aAuth, TV3Priv aPriv);

}  // namespace tavo::test
