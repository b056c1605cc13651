#pragma once
// TSNMPRec is one SNMP message in memory — SNMPv1 (with its Trap-PDU),
// SNMPv2c, or SNMPv3 with the user-based security model — and EncodeBuf and
// DecodeBuf turn it into the bytes of one UDP datagram and back.
//
// Every value is kept as an 8-bit string or a 32-bit integer, in the text
// forms of BerEncoding.h. Program text (UTF-8) becomes 8-bit strings through
// Windows-1252 (MibAdd2); everything else is stored as the bytes given.
//
// The fields are public; their property names elsewhere are these without
// the leading F.
//
// A record is used by one thread at a time and has no locks. It owns its
// bindings. EncodeBuf and DecodeBuf throw ESnmpError (SnmpSecurity.h) when a
// key must be derived from an empty password, or when a DES ciphertext cannot
// be decrypted; the record is then half filled and nothing is produced.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

// Security level; the position in TavoT's type list.
enum class TV3Flags : std::int32_t { NoAuthNoPriv = 0, AuthNoPriv = 1, AuthPriv = 2 };
enum class TV3Auth : std::int32_t {
  AuthMD5 = 0,
  AuthSHA1 = 1,
  AuthSHA224 = 2,
  AuthSHA256 = 3,
  AuthSHA384 = 4,
  AuthSHA512 = 5
};
// AES192/AES256 extend a short key by hashing it, the "C" variants by
// deriving a key from it as from a password (as Triple-DES does).
enum class TV3Priv : std::int32_t {
  PrivDES = 0,
  Priv3DES = 1,
  PrivAES = 2,
  PrivAES192 = 3,
  PrivAES256 = 4,
  PrivAES192C = 5,
  PrivAES256C = 6
};

// PDU tags this system names.
constexpr std::int32_t kPduGetRequest = 0xA0;
constexpr std::int32_t kPduTrapV1 = 0xA4;
constexpr std::int32_t kPduTrapV2 = 0xA7;
constexpr std::int32_t kPduResponse = 0xA2;
constexpr std::int32_t kPduInformRequest = 0xA6;
constexpr std::int32_t kPduReport = 0xA8;

// OIDs of SNMPv2 notifications (their first two bindings) and of the two
// reports of the user-based security model (RFC 3414) that are answered.
constexpr const char* kSysUpTimeOid = "1.3.6.1.2.1.1.3.0";
constexpr const char* kSnmpTrapOid = "1.3.6.1.6.3.1.1.4.1.0";
constexpr const char* kUsmStatsUnknownEngineIDs = "1.3.6.1.6.3.15.1.1.4.0";
constexpr const char* kUsmStatsNotInTimeWindows = "1.3.6.1.6.3.15.1.1.2.0";

// One variable binding.
class TSNMPMib {
 public:
  std::string FOID;             // dotted text
  std::string FValue;           // the text form of its tag
  std::int32_t FValueType = 0;  // the value's tag byte
};

class TSNMPRec {
 public:
  TSNMPRec();
  ~TSNMPRec();
  TSNMPRec(const TSNMPRec&) = delete;
  TSNMPRec& operator=(const TSNMPRec&) = delete;

  // Resets the message fields. The credentials (FAuthMode, FPassword,
  // FPrivMode, FPrivPassword), FID and FMaxSize survive, so a reused record
  // keeps its user and keeps counting request-ids; FPrivSaltCounter restarts
  // at a new random value.
  void Clear();

  // Appends a binding with 8-bit OID and value texts.
  void MIBAdd(const std::string& aOID, const std::string& aValue, std::int32_t aValueType);
  // As MIBAdd, with both texts converted from UTF-8 to Windows-1252.
  void MibAdd2(const std::string& aMib, const std::string& aValue, std::int32_t aValueType);
  // Removes a binding; an index out of range does nothing.
  void MIBDelete(int aIndex);
  int MIBCount() const { return static_cast<int>(FSNMPMibList.size()); }
  // The binding, or nullptr for an index out of range.
  TSNMPMib* MIBByIndex(int aIndex) const;
  // The value of the first binding whose OID text is aOID byte for byte;
  // empty when there is none.
  std::string MIBGet(const std::string& aOID) const;

  // The message as one datagram. Afterwards FID is one higher; for SNMPv3
  // FAuthKey, FPrivSalt, FPrivKey, FPrivSaltCounter and an empty
  // FContextEngineID (set to FAuthEngineID) are updated.
  std::string EncodeBuf();
  // Clears the record and reads aBuffer into it. False, with the record
  // cleared or half filled, when the datagram has fewer than 2 bytes, does
  // not start with a constructed tag, is shorter than its outer length field
  // says (counted from the field's end),
  // or is an SNMPv3 AuthPriv message whose scopedPduData is not an OCTET
  // STRING. Everything else is taken in, with empty or zero fields where the
  // bytes do not fit. AuthPriv messages are decrypted with FPrivPassword;
  // with aDecrypt false they stop before it (the record then holds the
  // header and the security parameters, no PDU), so that nothing is
  // decrypted for a sender that has not been authenticated.
  //
  // Bounded by the datagram: the record's texts (StoredBytes) stay within
  // twice its size + kDecodeSlack (a text that would not fit is kept empty,
  // a binding whose OID would not fit is not kept), the work within a pass
  // over its bytes. More than kMaxBindings bindings throw ESnmpError
  // "more than 1000 variable bindings".
  bool DecodeBuf(std::string_view aBuffer, bool aDecrypt = true);
  // Every text the record holds, in bytes (credentials included).
  std::size_t StoredBytes() const;

  static constexpr std::size_t kMaxBindings = 1000;
  static constexpr std::size_t kDecodeSlack = 4096;

  std::int32_t FVersion = 0;  // as on the wire: 0 SNMPv1, 1 SNMPv2c, 3 SNMPv3
  std::int32_t FPDUType = 0;
  std::int32_t FID = 1;  // request-id; for SNMPv3 also the msgID written
  // The SNMPv3 msgID as received. A Response or Report echoes it (senders
  // match replies by msgID); every other PDU writes FID in its place.
  std::int32_t FMsgID = 0;
  std::int32_t FErrorStatus = 0;  // NonRepeaters
  std::int32_t FErrorIndex = 0;   // MaxRepetitions
  std::string FCommunity = "public";
  std::vector<std::unique_ptr<TSNMPMib>> FSNMPMibList;
  std::int32_t FMaxSize = 1472;
  TV3Flags FFlags = TV3Flags::NoAuthNoPriv;
  bool FFlagReportable = false;
  std::string FContextEngineID;
  std::string FContextName;
  TV3Auth FAuthMode = TV3Auth::AuthMD5;
  std::string FAuthEngineID;
  std::int32_t FAuthEngineBoots = 0;
  std::int32_t FAuthEngineTime = 0;
  // Millisecond tick (TickCount32) at which the engine time was decoded;
  // 0 = none. The encoder adds the whole seconds elapsed since then.
  std::uint32_t FAuthEngineTimeStamp = 0;
  std::string FUserName;
  std::string FPassword;  // authentication password
  // msgAuthenticationParameters: the received code after DecodeBuf, the
  // computed one after EncodeBuf.
  std::string FAuthKey;
  TV3Priv FPrivMode = TV3Priv::PrivDES;
  std::string FPrivPassword;
  std::string FPrivKey;               // the privacy key of the last encryption or decryption
  std::string FPrivSalt;              // msgPrivacyParameters
  std::int32_t FPrivSaltCounter = 0;  // number of the next salt
  std::string FOldTrapEnterprise;     // SNMPv1 Trap-PDU enterprise, dotted text
  std::string FOldTrapHost;           // agent-addr, dotted IPv4 text; empty is 0.0.0.0
  std::int32_t FOldTrapGen = 0;
  std::int32_t FOldTrapSpec = 0;
  std::uint32_t FOldTrapTimeTicks = 0;
  // When set (it survives Clear), the decoder keeps the binding list as
  // received in FRawBindings, and the encoder writes FRawBindings in place of
  // FSNMPMibList while it is not empty: an answer carries the bindings
  // byte for byte. At most the datagram's size.
  bool FKeepRawBindings = false;
  std::string FRawBindings;
};

// The integer of an item's text: a decimal number from -2147483648 to
// 4294967295 keeps its low 32 bits, any other text gives 0.
std::int32_t SnmpTextToInt32(std::string_view aText);

}  // namespace tavo
