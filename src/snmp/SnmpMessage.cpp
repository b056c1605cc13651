#include "snmp/SnmpMessage.h"

#include <charconv>
#include <random>

#include "platform/Clock.h"
#include "platform/TextCodec.h"
#include "snmp/BerEncoding.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

// A fresh salt number from 0 to 2147483646.
std::int32_t RandomSaltStart() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<std::int32_t>(0, 2147483646)(generator);
}

// A decimal number with an optional sign, nothing else, within
// [aMin, aMax]; aOk false otherwise.
std::int64_t ParseDecimal(std::string_view aText, std::int64_t aMin, std::int64_t aMax, bool& aOk) {
  aOk = false;
  std::string_view digits = aText;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty() || digits.size() > 12)
    return 0;
  std::int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9')
      return 0;
    value = value * 10 + (c - '0');
  }
  if (negative)
    value = -value;
  if (value < aMin || value > aMax)
    return 0;
  aOk = true;
  return value;
}

// INTEGER values: the signed 32-bit range, anything else 0.
std::int32_t TextToSigned32(std::string_view aText) {
  bool ok = false;
  return static_cast<std::int32_t>(ParseDecimal(aText, INT32_MIN, INT32_MAX, ok));
}

std::string Integer(std::int32_t aValue) {
  return BerMakeItem(BerEncodeInteger(aValue), kBerInteger);
}
std::string OctetString(std::string_view aBytes) {
  return BerMakeItem(aBytes, kBerOctetString);
}
std::string Sequence(std::string_view aContent) {
  return BerMakeItem(aContent, kBerSequence);
}

std::string EncodeValue(const TSNMPMib& aMib) {
  switch (aMib.FValueType) {
    case kBerInteger:
      return Integer(TextToSigned32(aMib.FValue));
    case kBerNull:
      return BerMakeItem("", kBerNull);
    case kBerObjectId:
      return BerMakeItem(OidTextToBytes(aMib.FValue), kBerObjectId);
    case kBerIpAddress:
      return BerMakeItem(IpTextToBytes(aMib.FValue), kBerIpAddress);
    case kBerCounter32:
    case kBerGauge32:
    case kBerTimeTicks:
      // The unsigned range as decoding writes it, so that 4294967295 survives.
      return BerMakeItem(
          BerEncodeUnsigned(static_cast<std::uint32_t>(SnmpTextToInt32(aMib.FValue))),
          aMib.FValueType);
    default:
      return BerMakeItem(aMib.FValue, aMib.FValueType);
  }
}

std::uint8_t MsgFlagsByte(TV3Flags aFlags, bool aReportable) {
  std::uint8_t flags = 0;
  if (aFlags == TV3Flags::AuthNoPriv)
    flags = 0x01;
  if (aFlags == TV3Flags::AuthPriv)
    flags = 0x03;
  if (aReportable)
    flags |= 0x04;
  return flags;
}

}  // namespace

std::int32_t SnmpTextToInt32(std::string_view aText) {
  bool ok = false;
  const std::int64_t value = ParseDecimal(aText, INT32_MIN, UINT32_MAX, ok);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

TSNMPRec::TSNMPRec() : FPrivSaltCounter(RandomSaltStart()) {}

TSNMPRec::~TSNMPRec() = default;

void TSNMPRec::Clear() {
  FVersion = 0;
  FPDUType = 0;
  FErrorStatus = 0;
  FErrorIndex = 0;
  FCommunity = "public";
  FSNMPMibList.clear();
  FFlags = TV3Flags::NoAuthNoPriv;
  FFlagReportable = false;
  FContextEngineID.clear();
  FContextName.clear();
  FAuthEngineID.clear();
  FAuthEngineBoots = 0;
  FAuthEngineTime = 0;
  FAuthEngineTimeStamp = 0;
  FUserName.clear();
  FAuthKey.clear();
  FPrivKey.clear();
  FPrivSalt.clear();
  FPrivSaltCounter = RandomSaltStart();
  FOldTrapEnterprise.clear();
  FOldTrapHost.clear();
  FOldTrapGen = 0;
  FOldTrapSpec = 0;
  FOldTrapTimeTicks = 0;
  FMsgID = 0;
  // A record reused for every datagram keeps no large buffer from a large one.
  if (FRawBindings.capacity() > kDecodeSlack)
    std::string().swap(FRawBindings);
  FRawBindings.clear();
}

void TSNMPRec::MIBAdd(const std::string& aOID, const std::string& aValue, std::int32_t aValueType) {
  auto mib = std::make_unique<TSNMPMib>();
  mib->FOID = aOID;
  mib->FValue = aValue;
  mib->FValueType = aValueType;
  FSNMPMibList.push_back(std::move(mib));
}

void TSNMPRec::MibAdd2(const std::string& aMib, const std::string& aValue,
                       std::int32_t aValueType) {
  MIBAdd(Utf8ToCp1252(aMib), Utf8ToCp1252(aValue), aValueType);
}

void TSNMPRec::MIBDelete(int aIndex) {
  if (aIndex < 0 || aIndex >= MIBCount())
    return;
  FSNMPMibList.erase(FSNMPMibList.begin() + aIndex);
}

TSNMPMib* TSNMPRec::MIBByIndex(int aIndex) const {
  if (aIndex < 0 || aIndex >= MIBCount())
    return nullptr;
  return FSNMPMibList[static_cast<std::size_t>(aIndex)].get();
}

std::string TSNMPRec::MIBGet(const std::string& aOID) const {
  for (const auto& mib : FSNMPMibList) {
    if (mib->FOID == aOID)
      return mib->FValue;
  }
  return std::string();
}

std::string TSNMPRec::EncodeBuf() {
  std::string bindings;
  if (!FRawBindings.empty()) {
    bindings = FRawBindings;
  } else {
    for (const auto& mib : FSNMPMibList) {
      bindings +=
          Sequence(BerMakeItem(OidTextToBytes(mib->FOID), kBerObjectId) + EncodeValue(*mib));
    }
  }
  std::string pduContent;
  if (FPDUType == kPduTrapV1) {
    pduContent = BerMakeItem(OidTextToBytes(FOldTrapEnterprise), kBerObjectId) +
                 BerMakeItem(IpTextToBytes(FOldTrapHost), kBerIpAddress) + Integer(FOldTrapGen) +
                 Integer(FOldTrapSpec) +
                 BerMakeItem(BerEncodeUnsigned(FOldTrapTimeTicks), kBerTimeTicks);
  } else {
    pduContent = Integer(FID) + Integer(FErrorStatus) + Integer(FErrorIndex);
  }
  pduContent += Sequence(bindings);
  const std::string pdu = BerMakeItem(pduContent, FPDUType);

  std::string message;
  if (FVersion != 3) {
    message = Sequence(Integer(FVersion) + OctetString(FCommunity) + pdu);
  } else {
    if (FContextEngineID.empty())
      FContextEngineID = FAuthEngineID;
    std::int32_t engineTime = FAuthEngineTime;
    if (FAuthEngineTimeStamp != 0) {
      const std::uint32_t elapsed = (TickCount32() - FAuthEngineTimeStamp) / 1000u;
      engineTime = static_cast<std::int32_t>(static_cast<std::uint32_t>(engineTime) + elapsed);
    }
    const std::string scopedPdu =
        Sequence(OctetString(FContextEngineID) + OctetString(FContextName) + pdu);
    const std::string scopedPduData = EncryptScopedPdu(*this, scopedPdu, engineTime);
    const std::string flags(1, static_cast<char>(MsgFlagsByte(FFlags, FFlagReportable)));
    const bool answer = FPDUType == kPduResponse || FPDUType == kPduReport;
    const std::string header =
        Integer(3) + Sequence(Integer(answer ? FMsgID : FID) + Integer(FMaxSize) +
                              OctetString(flags) + Integer(3));
    const std::string prefix = OctetString(FAuthEngineID) + Integer(FAuthEngineBoots) +
                               Integer(engineTime) + OctetString(FUserName);
    auto build = [&](std::string_view aAuthParameters) {
      const std::string securityParameters =
          Sequence(prefix + OctetString(aAuthParameters) + OctetString(FPrivSalt));
      return Sequence(header + OctetString(securityParameters) + scopedPduData);
    };
    if (FFlags != TV3Flags::NoAuthNoPriv) {
      if (FPassword.empty())
        throw ESnmpError("SNMPv3 authentication password is empty");
      const std::string key = DeriveLocalKey(FPassword, FAuthMode, FAuthEngineID);
      FAuthKey =
          ComputeAuthCode(build(std::string(AuthCodeLength(FAuthMode), '\0')), FAuthMode, key);
    }
    message = build(FAuthKey);
  }
  FID = static_cast<std::int32_t>(static_cast<std::uint32_t>(FID) + 1u);
  return message;
}

std::size_t TSNMPRec::StoredBytes() const {
  std::size_t n = FCommunity.size() + FContextEngineID.size() + FContextName.size() +
                  FAuthEngineID.size() + FUserName.size() + FPassword.size() + FAuthKey.size() +
                  FPrivPassword.size() + FPrivKey.size() + FPrivSalt.size() +
                  FOldTrapEnterprise.size() + FOldTrapHost.size();
  for (const auto& mib : FSNMPMibList)
    n += mib->FOID.size() + mib->FValue.size();
  return n;
}

bool TSNMPRec::DecodeBuf(std::string_view aBuffer, bool aDecrypt) {
  Clear();
  if (aBuffer.size() < 2 || !(static_cast<std::uint8_t>(aBuffer[0]) & kBerConstructed)) {
    return false;
  }
  std::size_t pos = 1;
  const std::uint64_t outerLength = BerDecodeLength(aBuffer, pos);
  // The whole message, wherever its length field ends (long forms are longer).
  if (aBuffer.size() < pos + outerLength)
    return false;
  std::size_t dataEnd = std::min<std::uint64_t>(pos + outerLength, aBuffer.size());

  // Every item is read in order with one flat series of reads; constructed
  // items are stepped into, never copied, so that a datagram of nested
  // items costs one pass over its bytes.
  //
  // What the record keeps is bounded by the datagram: text forms can be
  // longer than their bytes (an OID arc of one byte can read as four
  // characters), so each text is kept only while the whole stays within
  // kDecodeSlack + twice the datagram; one that does not fit is kept empty
  // (a binding without its OID is not kept at all).
  const std::size_t limit = 2 * aBuffer.size() + kDecodeSlack;
  std::size_t used = StoredBytes();
  auto keep = [&](std::string aText) {
    if (aText.size() > limit || used > limit - aText.size())
      return std::string();
    used += aText.size();
    return aText;
  };
  std::string_view buffer = aBuffer;
  std::string decrypted;  // holds the buffer once an AuthPriv message is decrypted
  std::int32_t tag = 0;
  auto next = [&]() { return BerReadItemShallow(buffer, pos, tag); };
  auto enter = [&]() { BerReadItemShallow(buffer, pos, tag); };
  auto nextInt = [&]() { return SnmpTextToInt32(next()); };

  FVersion = nextInt();
  if (FVersion == 3) {
    enter();             // header
    FMsgID = nextInt();  // written back only by a Response or Report
    FMaxSize = nextInt();
    const std::string flags = next();
    const std::uint8_t flagByte = flags.empty() ? 0 : static_cast<std::uint8_t>(flags[0]);
    FFlagReportable = (flagByte & 0x04) != 0;
    switch (flagByte & 0x03) {
      case 1:
        FFlags = TV3Flags::AuthNoPriv;
        break;
      case 3:
        FFlags = TV3Flags::AuthPriv;
        break;
      default:
        FFlags = TV3Flags::NoAuthNoPriv;
    }
    const std::int32_t model = nextInt();
    const std::string security = next();
    if (model == 3 && !security.empty()) {
      std::size_t s = 0;
      std::int32_t t = 0;
      auto field = [&]() { return BerReadItemShallow(security, s, t); };
      field();
      FAuthEngineID = keep(field());
      FAuthEngineBoots = SnmpTextToInt32(field());
      FAuthEngineTime = SnmpTextToInt32(field());
      FUserName = keep(field());
      FAuthKey = keep(field());
      FPrivSalt = keep(field());
      FAuthEngineTimeStamp = TickCount32();
    }
    if (FFlags == TV3Flags::AuthPriv) {
      const std::size_t start = pos;
      const std::string cipher = next();
      if (tag != kBerOctetString)
        return false;
      if (!aDecrypt)
        return true;
      decrypted.assign(buffer.substr(0, start));
      decrypted += DecryptScopedPdu(*this, cipher);
      used = StoredBytes();  // the privacy key
      buffer = decrypted;
      pos = start;
      dataEnd = std::min(dataEnd, buffer.size());
    }
    enter();  // scoped PDU
    FContextEngineID = keep(next());
    FContextName = keep(next());
  } else {
    FCommunity = keep(next());
  }

  enter();  // PDU
  FPDUType = tag;
  if (FPDUType == kPduTrapV1) {
    FOldTrapEnterprise = keep(next());
    FOldTrapHost = keep(next());
    FOldTrapGen = nextInt();
    FOldTrapSpec = nextInt();
    FOldTrapTimeTicks = static_cast<std::uint32_t>(nextInt());
  } else {
    FID = nextInt();
    FErrorStatus = nextInt();
    FErrorIndex = nextInt();
  }
  const std::size_t listStart = pos;
  enter();  // binding list
  if (FKeepRawBindings && tag == kBerSequence && listStart < buffer.size()) {
    std::size_t content = listStart + 1;
    const std::uint64_t length = BerDecodeLength(buffer, content);
    if (content <= buffer.size())
      FRawBindings.assign(
          buffer.substr(content, std::min<std::uint64_t>(length, buffer.size() - content)));
  }
  // Bindings with an empty OID, among them the zero padding after a
  // decrypted scoped PDU, are skipped.
  while (pos + 2 <= dataEnd) {
    enter();  // binding
    std::string oid = keep(next());
    std::string value = next();
    if (oid.empty())
      continue;
    if (FSNMPMibList.size() >= kMaxBindings)
      throw ESnmpError("more than " + std::to_string(kMaxBindings) + " variable bindings");
    auto mib = std::make_unique<TSNMPMib>();
    mib->FOID = std::move(oid);
    mib->FValue = keep(std::move(value));
    mib->FValueType = tag;
    FSNMPMibList.push_back(std::move(mib));
  }
  return true;
}

}  // namespace tavo
