#include "HostileDatagrams.h"

#include <random>

#include "SampleTraps.h"
#include "snmp/BerEncoding.h"

namespace tavo::test {
namespace {

std::string Item(unsigned char aTag, const std::string& aContent) {
  return BerMakeItem(aContent, aTag);
}
std::string Int(std::int32_t aValue) {
  return Item(kBerInteger, BerEncodeInteger(aValue));
}
std::string Oid(const std::string& aText) {
  return Item(kBerObjectId, OidTextToBytes(aText));
}

// An SNMPv1 Trap-PDU message around aEnterprise (an item) and aBindings
// (the binding list's content).
std::string V1Trap(const std::string& aEnterprise, const std::string& aBindings) {
  const std::string pdu = aEnterprise + Item(kBerIpAddress, std::string(4, '\0')) + Int(6) +
                          Int(8424) + Item(kBerTimeTicks, BerEncodeInteger(1)) +
                          Item(kBerSequence, aBindings);
  return Item(kBerSequence, Int(0) + Item(kBerOctetString, "public") + Item(0xA4, pdu));
}

std::string Enterprise() {
  return Oid(std::string(kSampleOid) + ".0");
}

// The room left for a chain in a message of aBytes whose other parts take
// aOverhead; the wrapping length fields take a few bytes more.
std::size_t Room(std::size_t aBytes, std::size_t aOverhead) {
  return aBytes > aOverhead + 16 ? aBytes - aOverhead - 16 : 2;
}

}  // namespace

std::string ConstructedChain(std::size_t aBytes, unsigned char aTag) {
  std::vector<std::string> headers;
  std::size_t length = 0;  // content of the next header out
  while (length < aBytes || headers.empty()) {
    std::string header(1, static_cast<char>(aTag));
    header += BerEncodeLength(static_cast<std::uint32_t>(length));
    length += header.size();
    headers.push_back(std::move(header));
  }
  std::string chain;
  chain.reserve(length);
  for (auto it = headers.rbegin(); it != headers.rend(); ++it)
    chain += *it;
  return chain;
}

const char* NestingName(TNesting aPlace) {
  switch (aPlace) {
    case TNesting::eBindingList:
      return "binding list";
    case TNesting::eOid:
      return "OID";
    case TNesting::eValue:
      return "value";
    case TNesting::ePduHeader:
      return "PDU header";
    case TNesting::eSecurityParameters:
      return "security parameters";
  }
  return "?";
}

std::string NestedDatagram(TNesting aPlace, std::size_t aBytes) {
  const std::size_t overhead = V1Trap(Enterprise(), "").size();
  const std::size_t room = Room(aBytes, overhead + 32);
  switch (aPlace) {
    case TNesting::eBindingList:
      return V1Trap(Enterprise(), ConstructedChain(room));
    case TNesting::eOid:
      return V1Trap(Enterprise(), Item(kBerSequence, ConstructedChain(room, 0x26) + Int(1)));
    case TNesting::eValue:
      return V1Trap(Enterprise(), Item(kBerSequence, Oid(std::string(kSampleOid) + ".1") +
                                                         ConstructedChain(room, 0x24)));
    case TNesting::ePduHeader:
      return V1Trap(ConstructedChain(room, 0x26),
                    Item(kBerSequence, Oid(std::string(kSampleOid) + ".1") + Int(100)));
    case TNesting::eSecurityParameters: {
      const std::string header =
          Item(kBerSequence, Int(1) + Int(65507) + Item(kBerOctetString, "\x01") + Int(3));
      const std::string scoped =
          Item(kBerSequence, Item(kBerOctetString, "") + Item(kBerOctetString, "") +
                                 Item(0xA7, Int(1) + Int(0) + Int(0) + Item(kBerSequence, "")));
      const std::string security =
          Item(kBerOctetString, Item(kBerSequence, ConstructedChain(room, 0x24)));
      return Item(kBerSequence, Int(3) + header + security + scoped);
    }
  }
  return {};
}

std::string ManyBindingsTrap(std::size_t aCount) {
  std::string bindings;
  const std::string one = Item(kBerSequence, Oid(std::string(kSampleOid) + ".1") + Int(100));
  bindings.reserve(one.size() * aCount);
  for (std::size_t i = 0; i < aCount; ++i)
    bindings += one;
  return V1Trap(Enterprise(), bindings);
}

std::vector<std::string> ForgedAuthPrivTraps(std::size_t aCount, TV3Auth aAuth, TV3Priv aPriv) {
  // One message under a known engine ID, then that ID's bytes replaced in
  // each copy: no key is derived per copy, and no code is right.
  const std::string marker = "ENGINE-MARK!";  // 12 bytes
  SampleTrap sample = SampleV3(TV3Flags::AuthPriv, aAuth, aPriv);
  sample.AuthPassword = "not the receiver's password";
  TSNMPRec rec;
  SetSampleSender(rec, sample);
  rec.FAuthEngineID = marker;
  AddTavotBindings(rec);
  const std::string model = rec.EncodeBuf();
  const std::size_t at = model.find(marker);
  std::mt19937 random(std::random_device{}());
  std::vector<std::string> out;
  out.reserve(aCount);
  for (std::size_t i = 0; i < aCount; ++i) {
    std::string d = model;
    for (std::size_t k = 0; k < marker.size(); ++k)
      d[at + k] = static_cast<char>(random() & 0xFF);
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace tavo::test
