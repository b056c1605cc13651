#pragma once
// What the SNMP fuzz targets hold the decoder to on every input: after each
// TSNMPRec::DecodeBuf, returned or thrown, the record's texts within twice
// the datagram + kDecodeSlack, at most kMaxBindings bindings, and the items
// read within one per two bytes of the datagram + a fixed few. A breach
// aborts, so that libFuzzer reports the input. One thread, as libFuzzer runs.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "snmp/BerEncoding.h"
#include "snmp/SnmpMessage.h"
#include "snmp/SnmpSecurity.h"

namespace tavo::fuzz {

// Every read takes at least a tag and a length byte, except those that find
// the bytes used up. The most of those: an SNMPv3 version of three bytes and
// nothing after it, whose 14 reads of the fields that should follow find
// nothing, or one whose security parameters hold a single byte and get
// their 7 reads. Either way twice the reads come to the size + 25 (15 reads
// of a 5-byte datagram), never more.
constexpr std::uint64_t kReadSlackTwice = 25;

inline void CheckDecodeBounds(const TSNMPRec& aRec, std::size_t aSize, std::uint64_t aReads) {
  if (aRec.StoredBytes() > 2 * aSize + TSNMPRec::kDecodeSlack)
    std::abort();
  if (static_cast<std::size_t>(aRec.MIBCount()) > TSNMPRec::kMaxBindings)
    std::abort();
  if (2 * aReads > aSize + kReadSlackTwice)
    std::abort();
}

// aRec.DecodeBuf(aBytes, aDecrypt) under those bounds; an ESnmpError is
// checked and passed on.
inline bool BoundedDecode(TSNMPRec& aRec, std::string_view aBytes, bool aDecrypt) {
  const std::uint64_t before = BerItemReadCount();
  try {
    const bool decoded = aRec.DecodeBuf(aBytes, aDecrypt);
    CheckDecodeBounds(aRec, aBytes.size(), BerItemReadCount() - before);
    return decoded;
  } catch (const ESnmpError&) {
    CheckDecodeBounds(aRec, aBytes.size(), BerItemReadCount() - before);
    throw;
  }
}

}  // namespace tavo::fuzz
