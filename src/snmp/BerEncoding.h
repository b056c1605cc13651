#pragma once
// The subset of the Basic Encoding Rules that SNMP messages are made of:
// type-length-value items with single-byte tags, integers, object
// identifiers and IPv4 addresses. Values cross this layer as 8-bit byte
// strings (any byte value) or 32-bit integers; object identifiers and
// addresses travel as dotted text.
//
// Writing always gives the definite, shortest length form and the shortest
// integer form. Reading is lenient: it never fails and never reads past the
// end of the buffer; bytes that do not fit give empty or zero values, and
// the caller decides what to accept.
//
// All functions are pure and may run on any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavo {

// Tags with a meaning of their own.
enum TBerTag : std::int32_t {
  kBerBoolean = 0x01,
  kBerInteger = 0x02,
  kBerOctetString = 0x04,
  kBerNull = 0x05,
  kBerObjectId = 0x06,
  kBerEnumerated = 0x0A,
  kBerSequence = 0x30,
  kBerIpAddress = 0x40,
  kBerCounter32 = 0x41,
  kBerGauge32 = 0x42,
  kBerTimeTicks = 0x43,
  kBerOpaque = 0x44,
};

// Bit of the tag byte that marks a constructed item.
constexpr std::int32_t kBerConstructed = 0x20;

// The length field: one byte below 128, else 0x80 + n followed by n
// big-endian bytes (n = 1..4, as few as hold the length).
std::string BerEncodeLength(std::uint32_t aLength);
// Reads a length field at aPos and advances past it. 0x80 alone (the
// indefinite form) gives 0; length bytes beyond the buffer read as 0 and aPos
// stops at the end of the buffer. Wider lengths keep their low 32 bits.
std::uint32_t BerDecodeLength(std::string_view aBuffer, std::size_t& aPos);

// Shortest two's-complement content bytes (1 to 4).
std::string BerEncodeInteger(std::int32_t aValue);
// The 32 bits taken as unsigned, shortest non-negative two's-complement form
// (a leading 00 when the top bit would be set): 1 to 5 bytes.
std::string BerEncodeUnsigned(std::uint32_t aValue);

// One sub-identifier in base 128, bit 0x80 on every byte but the last.
// Values up to 4294967295 are written in up to 5 bytes.
std::string BerEncodeSubId(std::uint32_t aValue);
// Reads one sub-identifier at aPos (32-bit accumulator, upper bits lost) and
// advances; stops at the end of the buffer even inside a sub-identifier.
std::uint32_t BerDecodeSubId(std::string_view aBuffer, std::size_t& aPos);

// Dotted text to OBJECT IDENTIFIER content: the first two arcs make one
// sub-identifier (40 * a + b), every further arc one more. An arc that is
// empty, not made of decimal digits only, or above 4294967295 counts as 0.
std::string OidTextToBytes(std::string_view aText);
// OBJECT IDENTIFIER content to dotted text; the first sub-identifier v gives
// the two arcs v / 40 and v % 40. Empty content gives empty text.
std::string OidBytesToText(std::string_view aBytes);

// Dotted IPv4 text to exactly 4 bytes: four parts, blanks around each part
// removed, each read as a signed 32-bit decimal (else 0) and cut to its low
// 8 bits; missing parts give 0.
std::string IpTextToBytes(std::string_view aText);

// Tag byte + length field + content.
std::string BerMakeItem(std::string_view aContent, std::int32_t aTag);

// Reads the item at aPos. aTag receives the tag byte (kBerNull when fewer
// than two bytes remain; aPos is then unchanged). When the content would run
// past the buffer, the value is empty and aPos stays just after the length
// field. A constructed item gives a copy of its content and leaves aPos at
// its first content byte, so that the next call reads the first item inside
// it; any other item gives its text form and aPos moves past it:
//   BOOLEAN, INTEGER, ENUMERATED: signed decimal of the low 32 bits;
//   Counter32, Gauge32, TimeTicks: unsigned decimal of the low 32 bits;
//   NULL: empty; OBJECT IDENTIFIER: dotted text;
//   IpAddress: each byte in decimal, joined by "." (any number of bytes);
//   every other tag: the content bytes unchanged.
std::string BerReadItem(std::string_view aBuffer, std::size_t& aPos, std::int32_t& aTag);

// As BerReadItem, but a constructed item gives no copy of its content: for
// readers that only step into it.
std::string BerReadItemShallow(std::string_view aBuffer, std::size_t& aPos, std::int32_t& aTag);

// Items read by either reading on this thread so far: what a decoder's work
// is measured in.
std::uint64_t BerItemReadCount();

}  // namespace tavo
