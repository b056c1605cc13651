#include "snmp/SnmpMessage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ByteText.h"
#include "HostileDatagrams.h"
#include "SampleTraps.h"
#include "platform/Clock.h"
#include "snmp/BerEncoding.h"
#include "snmp/SnmpDefaults.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

using test::Hex;
using test::SampleTrap;
using test::SampleV3;
using test::SetSampleReceiver;
using test::SetSampleSender;
using test::Unhex;

// A binding of every tag that survives decoding and encoding unchanged.
void AddEveryKindOfBinding(TSNMPRec& aRec) {
  aRec.MIBAdd("1.3.6.1.2.1.1.3.0", "200", kBerTimeTicks);
  aRec.MIBAdd("1.3.6.1.6.3.1.1.4.1.0", "1.3.6.4.1.52814.8424.0", kBerObjectId);
  aRec.MIBAdd("1.3.6.4.1.52814.8424.1", "-129", kBerInteger);
  aRec.MIBAdd("1.3.6.4.1.52814.8424.2", std::string("A\0\xC4\xFF", 4), kBerOctetString);
  aRec.MIBAdd("1.3.6.4.1.52814.8424.3", "", kBerNull);
  aRec.MIBAdd("1.3.6.4.1.52814.8424.4", "192.168.1.20", kBerIpAddress);
  aRec.MIBAdd("1.3.6.4.1.52814.8424.5", "4294967295", kBerCounter32);
  aRec.MIBAdd("1.3.6.4.1.52814.8424.6", "0", kBerGauge32);
  aRec.MIBAdd("1.3.6.4.1.52814.8424.7", "opaque", kBerOpaque);
  aRec.MIBAdd("1.3.6.4.1.52814.8424.8", std::string("\x01\x02", 2), 0x46);  // Counter64, raw
  aRec.MIBAdd("1.3.6.4.1.52814.8424.9", "", 0x80);                          // noSuchObject
}

TEST(SnmpMessageTest, NewRecordAndClear) {
  TSNMPRec rec;
  EXPECT_EQ(rec.FVersion, 0);
  EXPECT_EQ(rec.FID, 1);
  EXPECT_EQ(rec.FCommunity, "public");
  EXPECT_EQ(rec.FMaxSize, 1472);
  EXPECT_EQ(rec.FFlags, TV3Flags::NoAuthNoPriv);
  EXPECT_EQ(rec.FAuthMode, TV3Auth::AuthMD5);
  EXPECT_EQ(rec.FPrivMode, TV3Priv::PrivDES);
  EXPECT_GE(rec.FPrivSaltCounter, 0);
  EXPECT_LE(rec.FPrivSaltCounter, 2147483646);

  // Clear resets the message but keeps the credentials, FID and FMaxSize.
  SetSampleSender(rec, SampleV3(TV3Flags::AuthPriv));
  rec.FAuthMode = TV3Auth::AuthSHA1;
  rec.FPrivMode = TV3Priv::PrivAES;
  rec.FID = 77;
  rec.FMaxSize = 65507;
  rec.FCommunity = "x";
  rec.FAuthEngineID = "e";
  rec.FOldTrapGen = 6;
  rec.FOldTrapTimeTicks = 9;
  rec.FFlagReportable = true;
  rec.MIBAdd("1.3", "v", kBerOctetString);
  rec.Clear();
  EXPECT_EQ(rec.FVersion, 0);
  EXPECT_EQ(rec.FPDUType, 0);
  EXPECT_EQ(rec.FCommunity, "public");
  EXPECT_EQ(rec.MIBCount(), 0);
  EXPECT_EQ(rec.FFlags, TV3Flags::NoAuthNoPriv);
  EXPECT_FALSE(rec.FFlagReportable);
  EXPECT_EQ(rec.FUserName, "");
  EXPECT_EQ(rec.FAuthEngineID, "");
  EXPECT_EQ(rec.FOldTrapGen, 0);
  EXPECT_EQ(rec.FOldTrapTimeTicks, 0u);
  EXPECT_EQ(rec.FID, 77);
  EXPECT_EQ(rec.FMaxSize, 65507);
  EXPECT_EQ(rec.FAuthMode, TV3Auth::AuthSHA1);
  EXPECT_EQ(rec.FPrivMode, TV3Priv::PrivAES);
  EXPECT_EQ(rec.FPassword, kDefaultTrapUserPassword);
  EXPECT_EQ(rec.FPrivPassword, kDefaultTrapPrivacyPassword);
}

TEST(SnmpMessageTest, BindingList) {
  TSNMPRec rec;
  rec.MIBAdd("1.3.6.1.2.1.1.3.0", "first", kBerOctetString);
  rec.MIBAdd("1.3.6.1.2.1.1.3.0", "second", kBerOctetString);
  rec.MibAdd2("1.3.6.4.1.1", "\xC3\x84\xE2\x82\xAC", kBerOctetString);  // "Ä€" in UTF-8
  EXPECT_EQ(rec.MIBCount(), 3);
  EXPECT_EQ(rec.MIBGet("1.3.6.1.2.1.1.3.0"), "first");
  EXPECT_EQ(rec.MIBGet(".1.3.6.1.2.1.1.3.0"), "");
  EXPECT_EQ(Hex(rec.MIBGet("1.3.6.4.1.1")), "C4 80");  // Windows-1252
  EXPECT_EQ(rec.MIBByIndex(3), nullptr);
  EXPECT_EQ(rec.MIBByIndex(-1), nullptr);
  rec.MIBDelete(5);
  rec.MIBDelete(-1);
  EXPECT_EQ(rec.MIBCount(), 3);
  rec.MIBDelete(0);
  EXPECT_EQ(rec.MIBGet("1.3.6.1.2.1.1.3.0"), "second");
  EXPECT_EQ(rec.MIBByIndex(0)->FValue, "second");
}

TEST(SnmpMessageTest, FreshRecordEncodesAnSnmpV1Trap) {
  TSNMPRec rec;
  rec.FPDUType = kPduTrapV1;
  rec.FOldTrapEnterprise = "1.3.6.1.4.1.200";
  rec.FOldTrapGen = 6;
  rec.FOldTrapSpec = 1;
  EXPECT_EQ(Hex(rec.EncodeBuf()),
            "30 27 02 01 00 04 06 70 75 62 6C 69 63 A4 1A 06 07 2B 06 01 04 01 81 48 "
            "40 04 00 00 00 00 02 01 06 02 01 01 43 01 00 30 00");
  EXPECT_EQ(rec.FID, 2);
}

TEST(SnmpMessageTest, SnmpV3NoAuthNoPrivLayout) {
  TSNMPRec rec;
  rec.FVersion = 3;
  rec.FPDUType = kPduTrapV2;
  rec.FUserName = "u";
  EXPECT_EQ(Hex(rec.EncodeBuf()),
            "30 38 02 01 03 30 0D 02 01 01 02 02 05 C0 04 01 00 02 01 03 "
            "04 11 30 0F 04 00 02 01 00 02 01 00 04 01 75 04 00 04 00 "
            "30 11 04 00 04 00 A7 0B 02 01 01 02 01 00 02 01 00 30 00");
}

TEST(SnmpMessageTest, ValuesAreEncodedByTheirTag) {
  struct Case {
    std::int32_t Tag;
    const char* Value;
    const char* Item;
  };
  const Case cases[] = {
      {kBerInteger, "100", "02 01 64"},
      {kBerInteger, "abc", "02 01 00"},
      {kBerInteger, "4294967295", "02 01 00"},  // outside the signed range
      {kBerInteger, "-2147483648", "02 04 80 00 00 00"},
      {kBerNull, "not empty", "05 00"},
      {kBerObjectId, "1.3.6", "06 02 2B 06"},
      {kBerIpAddress, "10.0.0.300", "40 04 0A 00 00 2C"},
      {kBerTimeTicks, "200", "43 02 00 C8"},
      {kBerCounter32, "4294967295", "41 05 00 FF FF FF FF"},
      {kBerGauge32, "-1", "42 05 00 FF FF FF FF"},
      {kBerTimeTicks, "x", "43 01 00"},
      {kBerOctetString, "ab", "04 02 61 62"},
      {kBerBoolean, "1", "01 01 31"},  // the value's bytes as they are
  };
  for (const Case& c : cases) {
    TSNMPRec rec;
    rec.FPDUType = kPduGetRequest;
    rec.MIBAdd("1.3", c.Value, c.Tag);
    const std::string message = rec.EncodeBuf();
    const std::string item = Unhex(c.Item);
    // The value item closes the message.
    EXPECT_EQ(Hex(message.substr(message.size() - item.size())), c.Item) << c.Value;
  }
}

TEST(SnmpMessageTest, RequestIdsCountUpAndV3MsgIdFollowsThem) {
  TSNMPRec rec;
  SetSampleSender(rec, SampleV3(TV3Flags::AuthNoPriv));
  rec.FID = 41;
  TSNMPRec first, second;
  ASSERT_TRUE(first.DecodeBuf(rec.EncodeBuf()));
  ASSERT_TRUE(second.DecodeBuf(rec.EncodeBuf()));
  EXPECT_EQ(first.FID, 41);
  EXPECT_EQ(second.FID, 42);
  EXPECT_EQ(rec.FID, 43);
}

TEST(SnmpMessageTest, DecodingAnSnmpV1TrapKeepsTheRequestId) {
  TSNMPRec sender;
  SetSampleSender(sender, {.Community = "Public"});
  sender.FOldTrapHost = "10.1.2.3";
  sender.FOldTrapTimeTicks = 4000000000u;
  sender.MIBAdd("1.3.6.4.1.52814.8424.1", "100", kBerInteger);
  const std::string bytes = sender.EncodeBuf();

  TSNMPRec rec;
  rec.FID = 17;
  ASSERT_TRUE(rec.DecodeBuf(bytes));
  EXPECT_EQ(rec.FID, 17);
  EXPECT_EQ(rec.FVersion, 0);
  EXPECT_EQ(rec.FPDUType, kPduTrapV1);
  EXPECT_EQ(rec.FCommunity, "Public");
  EXPECT_EQ(rec.FOldTrapEnterprise, "1.3.6.4.1.52814.8424.0");
  EXPECT_EQ(rec.FOldTrapHost, "10.1.2.3");
  EXPECT_EQ(rec.FOldTrapGen, 6);
  EXPECT_EQ(rec.FOldTrapSpec, 8424);
  EXPECT_EQ(rec.FOldTrapTimeTicks, 4000000000u);
  ASSERT_EQ(rec.MIBCount(), 1);
  EXPECT_EQ(rec.MIBGet("1.3.6.4.1.52814.8424.1"), "100");
}

// Decoding what the encoder made and encoding it again reproduces it byte
// for byte (engine time written back as received).
TEST(SnmpMessageTest, RoundTripReproducesTheBytes) {
  struct Case {
    int Version;
    TV3Flags Flags;
    TV3Auth Auth;
    bool Reportable;
  };
  const Case cases[] = {
      {0, TV3Flags::NoAuthNoPriv, TV3Auth::AuthMD5, false},
      {1, TV3Flags::NoAuthNoPriv, TV3Auth::AuthMD5, false},
      {3, TV3Flags::NoAuthNoPriv, TV3Auth::AuthMD5, false},
      {3, TV3Flags::AuthNoPriv, TV3Auth::AuthMD5, false},
      {3, TV3Flags::AuthNoPriv, TV3Auth::AuthSHA1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "version " << c.Version << " flags " << static_cast<int>(c.Flags));
    TSNMPRec sender;
    SetSampleSender(sender, SampleV3(c.Flags));
    sender.FVersion = c.Version;
    sender.FPDUType = c.Version == 0 ? kPduTrapV1 : kPduTrapV2;
    sender.FAuthMode = c.Auth;
    sender.FFlagReportable = c.Reportable;
    sender.FAuthEngineID = Unhex("80 00 1F 88 80 01 02 03 04");
    sender.FAuthEngineBoots = 3;
    sender.FAuthEngineTime = 1234567;
    sender.FContextName = "ctx";
    sender.FOldTrapEnterprise = "1.3.6.4.1.52814.8424.0";
    sender.FOldTrapHost = "127.0.0.1";
    AddEveryKindOfBinding(sender);
    const std::string bytes = sender.EncodeBuf();

    TSNMPRec receiver;
    receiver.FAuthMode = c.Auth;
    receiver.FPassword = sender.FPassword;
    ASSERT_TRUE(receiver.DecodeBuf(bytes));
    EXPECT_EQ(receiver.MIBCount(), 11);
    receiver.FAuthEngineTimeStamp = 0;
    if (c.Version == 0)
      receiver.FID = 1;  // the Trap-PDU carries none
    EXPECT_EQ(Hex(receiver.EncodeBuf()), Hex(bytes));
  }
}

TEST(SnmpMessageTest, DecodedFieldsOfAnSnmpV3Message) {
  TSNMPRec sender;
  SetSampleSender(sender, SampleV3(TV3Flags::AuthNoPriv));
  sender.FID = 5;
  sender.FAuthEngineID = "engine";
  sender.FAuthEngineBoots = 2;
  sender.FAuthEngineTime = 99;
  sender.FContextName = "ctx";
  AddEveryKindOfBinding(sender);
  const std::string bytes = sender.EncodeBuf();
  EXPECT_EQ(sender.FContextEngineID, "engine");  // taken from the engine ID

  TSNMPRec rec;
  ASSERT_TRUE(rec.DecodeBuf(bytes));
  EXPECT_EQ(rec.FVersion, 3);
  EXPECT_EQ(rec.FID, 5);
  EXPECT_EQ(rec.FPDUType, kPduTrapV2);
  EXPECT_EQ(rec.FFlags, TV3Flags::AuthNoPriv);
  EXPECT_EQ(rec.FAuthEngineID, "engine");
  EXPECT_EQ(rec.FAuthEngineBoots, 2);
  EXPECT_EQ(rec.FAuthEngineTime, 99);
  EXPECT_NE(rec.FAuthEngineTimeStamp, 0u);
  EXPECT_EQ(rec.FUserName, kDefaultTrapUserName);
  EXPECT_EQ(rec.FAuthKey, sender.FAuthKey);
  EXPECT_EQ(rec.FAuthKey.size(), 12u);
  EXPECT_EQ(rec.FContextEngineID, "engine");
  EXPECT_EQ(rec.FContextName, "ctx");
  ASSERT_EQ(rec.MIBCount(), 11);
  const TSNMPMib* mib = rec.MIBByIndex(6);
  EXPECT_EQ(mib->FOID, "1.3.6.4.1.52814.8424.5");
  EXPECT_EQ(mib->FValue, "4294967295");
  EXPECT_EQ(mib->FValueType, kBerCounter32);
  EXPECT_EQ(Hex(rec.MIBGet("1.3.6.4.1.52814.8424.2")), "41 00 C4 FF");
}

TEST(SnmpMessageTest, AuthPrivScopedPduDecryptsToTheBindings) {
  for (const SampleTrap& sample : test::SampleAuthPrivTraps()) {
    SCOPED_TRACE(test::SampleName(sample));
    TSNMPRec sender;
    SetSampleSender(sender, sample);
    sender.FAuthEngineBoots = 7;
    sender.FAuthEngineTime = 12345;
    AddEveryKindOfBinding(sender);
    const std::string bytes = sender.EncodeBuf();
    EXPECT_EQ(bytes.find("1.3.6.4.1"), std::string::npos);
    EXPECT_TRUE(VerifyAuthentication(bytes, sample.Auth, sender.FPassword));

    TSNMPRec rec;
    SetSampleReceiver(rec, sample);
    ASSERT_TRUE(rec.DecodeBuf(bytes));
    EXPECT_EQ(rec.FFlags, TV3Flags::AuthPriv);
    EXPECT_EQ(rec.FPrivSalt, sender.FPrivSalt);
    EXPECT_EQ(rec.FPrivKey, sender.FPrivKey);
    ASSERT_EQ(rec.MIBCount(), 11);  // the padding adds nothing
    for (int i = 0; i < 11; ++i) {
      EXPECT_EQ(rec.MIBByIndex(i)->FOID, sender.MIBByIndex(i)->FOID);
      EXPECT_EQ(rec.MIBByIndex(i)->FValueType, sender.MIBByIndex(i)->FValueType);
    }
    EXPECT_EQ(rec.MIBGet("1.3.6.4.1.52814.8424.1"), "-129");

    // A wrong privacy password is not noticed here: the bindings are garbage.
    SampleTrap other = sample;
    other.PrivPassword = "another password";
    TSNMPRec wrong;
    SetSampleReceiver(wrong, other);
    EXPECT_TRUE(wrong.DecodeBuf(bytes));
    EXPECT_EQ(wrong.MIBGet("1.3.6.4.1.52814.8424.1"), "");
  }
}

TEST(SnmpMessageTest, MsgIdIsRewrittenFromTheRequestId) {
  TSNMPRec sender;
  SetSampleSender(sender, SampleV3(TV3Flags::NoAuthNoPriv));
  sender.FID = 7;
  std::string bytes = sender.EncodeBuf();
  // msgID is the first INTEGER of the header: 30 LL 02 01 03 30 LL 02 01 07
  ASSERT_EQ(Hex(bytes.substr(7, 3)), "02 01 07");
  bytes[9] = 0x55;
  TSNMPRec rec;
  ASSERT_TRUE(rec.DecodeBuf(bytes));
  EXPECT_EQ(rec.FID, 7);
  const std::string again = rec.EncodeBuf();
  EXPECT_EQ(Hex(again.substr(7, 3)), "02 01 07");
}

TEST(SnmpMessageTest, MsgFlagsMapToTheSecurityLevel) {
  struct Case {
    std::uint8_t Flags;
    TV3Flags Level;
    bool Reportable;
  };
  const Case cases[] = {{0x00, TV3Flags::NoAuthNoPriv, false}, {0x01, TV3Flags::AuthNoPriv, false},
                        {0x02, TV3Flags::NoAuthNoPriv, false}, {0x03, TV3Flags::AuthPriv, false},
                        {0x04, TV3Flags::NoAuthNoPriv, true},  {0x07, TV3Flags::AuthPriv, true}};
  for (const Case& c : cases) {
    TSNMPRec sender;
    SetSampleSender(sender, SampleV3(TV3Flags::AuthPriv));
    std::string bytes = sender.EncodeBuf();
    // msgFlags: 04 01 xx after msgID (02 01 01) and msgMaxSize (02 02 05 C0).
    ASSERT_EQ(Hex(bytes.substr(14, 2)), "04 01");
    bytes[16] = static_cast<char>(c.Flags);
    TSNMPRec rec;
    rec.FPrivPassword = sender.FPrivPassword;
    // Not AuthPriv: the encrypted OCTET STRING is read as the scoped PDU.
    EXPECT_TRUE(rec.DecodeBuf(bytes)) << int(c.Flags);
    EXPECT_EQ(rec.FFlags, c.Level) << int(c.Flags);
    EXPECT_EQ(rec.FFlagReportable, c.Reportable) << int(c.Flags);
  }
}

TEST(SnmpMessageTest, RejectedDatagrams) {
  TSNMPRec plain;
  SetSampleSender(plain, SampleV3(TV3Flags::NoAuthNoPriv));
  std::string notEncrypted = plain.EncodeBuf();
  notEncrypted[16] = 0x03;  // says AuthPriv, but the scoped PDU is a SEQUENCE

  const std::vector<std::string> rejected = {"", Unhex("30"), Unhex("02 01 00"),
                                             Unhex("30 05 02 01 00"), notEncrypted};
  for (const std::string& bytes : rejected) {
    TSNMPRec rec;
    rec.FPrivPassword = "secret123";
    EXPECT_FALSE(rec.DecodeBuf(bytes)) << Hex(bytes);
  }
}

TEST(SnmpMessageTest, LenientDecoding) {
  TSNMPRec rec;
  rec.FCommunity = "kept?";
  ASSERT_TRUE(rec.DecodeBuf(Unhex("30 03 02 01 00")));
  EXPECT_EQ(rec.FVersion, 0);
  EXPECT_EQ(rec.FCommunity, "");
  EXPECT_EQ(rec.MIBCount(), 0);

  // Any constructed tag opens a message; bindings with an empty OID are skipped.
  ASSERT_TRUE(rec.DecodeBuf(Unhex("A0 10 02 01 01 04 00 A7 09 02 01 09 02 01 00 02 01 00")));
  EXPECT_EQ(rec.FVersion, 1);
  EXPECT_EQ(rec.FID, 9);
  ASSERT_TRUE(rec.DecodeBuf(Unhex(
      "30 1A 02 01 01 04 01 63 A7 12 02 01 01 02 01 00 02 01 00 30 07 30 05 06 00 02 01 05")));
  EXPECT_EQ(rec.MIBCount(), 0);
}

// A sample of each kind with a binding of every tag, encoded.
struct EncodedSample {
  SampleTrap Kind;
  std::string Bytes;
};
std::vector<EncodedSample> EncodedSamples() {
  std::vector<EncodedSample> samples;
  for (const SampleTrap& kind : test::SampleTrapKinds()) {
    TSNMPRec sender;
    SetSampleSender(sender, kind);
    AddEveryKindOfBinding(sender);
    samples.push_back({kind, sender.EncodeBuf()});
  }
  return samples;
}

// The bytes up to the end of a message's outer length field: the tag, then
// one length byte below 0x80, or 0x80 + N and N bytes.
std::size_t OuterHeaderSize(const std::string& aMessage) {
  const auto length = static_cast<std::uint8_t>(aMessage[1]);
  return 2 + ((length & 0x80) ? (length & 0x7F) : 0);
}

// A message cut anywhere after its outer length field is refused: false,
// or ESnmpError for a cut ciphertext.
TEST(SnmpMessageTest, CutMessagesAreRefused) {
  for (const EncodedSample& sample : EncodedSamples()) {
    const std::string name = test::SampleName(sample.Kind);
    const std::string& bytes = sample.Bytes;
    TSNMPRec rec;
    SetSampleReceiver(rec, sample.Kind);
    ASSERT_TRUE(rec.DecodeBuf(bytes)) << name;
    for (std::size_t n = OuterHeaderSize(bytes); n < bytes.size(); ++n) {
      try {
        EXPECT_FALSE(rec.DecodeBuf(bytes.substr(0, n)))
            << name << " cut to " << n << " of " << bytes.size() << " bytes";
      } catch (const ESnmpError&) {
        // a cut ciphertext: refused as a decryption error
      } catch (const std::exception& e) {
        ADD_FAILURE() << name << " cut to " << n << " bytes: " << e.what();
      } catch (...) {
        ADD_FAILURE() << name << " cut to " << n << " bytes: an unknown exception";
      }
    }
  }
}

// Cuts within the outer length field and every single-byte change decode
// or are refused without reading past the end (ASan watches).
TEST(SnmpMessageTest, DamagedMessagesAreHandledSafely) {
  for (const EncodedSample& sample : EncodedSamples()) {
    const std::string& bytes = sample.Bytes;
    TSNMPRec rec;
    SetSampleReceiver(rec, sample.Kind);
    for (std::size_t n = 0; n < OuterHeaderSize(bytes); ++n) {
      try {
        rec.DecodeBuf(bytes.substr(0, n));
      } catch (const ESnmpError&) {
      }
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      std::string damaged = bytes;
      damaged[i] = static_cast<char>(damaged[i] ^ 0x80);
      try {
        rec.DecodeBuf(damaged);
      } catch (const ESnmpError&) {
      }
    }
  }
}

TEST(SnmpMessageTest, EngineTimeWrittenAddsTheSecondsSinceDecoding) {
  TSNMPRec rec;
  rec.FVersion = 3;
  rec.FPDUType = kPduTrapV2;
  rec.FAuthEngineTime = 1000;
  rec.FAuthEngineTimeStamp = TickCount32() - 5500;
  TSNMPRec back;
  ASSERT_TRUE(back.DecodeBuf(rec.EncodeBuf()));
  EXPECT_GE(back.FAuthEngineTime, 1005);
  EXPECT_LE(back.FAuthEngineTime, 1007);
}

TEST(SnmpMessageTest, MissingPasswordsStopTheEncoding) {
  TSNMPRec auth;
  SetSampleSender(auth, SampleV3(TV3Flags::AuthNoPriv));
  auth.FPassword.clear();
  EXPECT_THROW(auth.EncodeBuf(), ESnmpError);

  TSNMPRec priv;
  SetSampleSender(priv, SampleV3(TV3Flags::AuthPriv));
  priv.FPrivPassword.clear();
  EXPECT_THROW(priv.EncodeBuf(), ESnmpError);

  // NoAuthNoPriv needs neither.
  TSNMPRec none;
  SetSampleSender(none, SampleV3(TV3Flags::NoAuthNoPriv));
  none.FPassword.clear();
  none.FPrivPassword.clear();
  EXPECT_NO_THROW(none.EncodeBuf());

  // A receiver without a privacy password cannot take AuthPriv messages in.
  TSNMPRec sender;
  SetSampleSender(sender, SampleV3(TV3Flags::AuthPriv));
  TSNMPRec rec;
  EXPECT_THROW(rec.DecodeBuf(sender.EncodeBuf()), ESnmpError);
}

// What a datagram built to exhaust the decoder costs: the texts the record
// keeps and the items read, both bounded by the datagram's size, never a
// copy of the rest of the datagram per item.
TEST(SnmpMessageTest, HostileDatagramsDecodeWithinTheirBounds) {
  using test::TNesting;
  const TNesting places[] = {TNesting::eBindingList, TNesting::eOid, TNesting::eValue,
                             TNesting::ePduHeader, TNesting::eSecurityParameters};
  for (const TNesting place : places) {
    for (const std::size_t size : {1000u, 8000u, 65000u}) {
      const std::string datagram = test::NestedDatagram(place, size);
      SCOPED_TRACE(std::string(test::NestingName(place)) + ", " + std::to_string(datagram.size()) +
                   " bytes");
      TSNMPRec rec;
      rec.FPassword = kDefaultTrapUserPassword;
      rec.FPrivPassword = kDefaultTrapPrivacyPassword;
      const std::uint64_t before = BerItemReadCount();
      EXPECT_TRUE(rec.DecodeBuf(datagram));
      EXPECT_LE(BerItemReadCount() - before, datagram.size() / 2 + 16);
      EXPECT_LE(rec.StoredBytes(), 2 * datagram.size() + 4096);
      if (place == TNesting::eBindingList) {
        EXPECT_EQ(rec.MIBCount(), 0);
      }
    }
  }
}

TEST(SnmpMessageTest, AtMostAThousandBindingsAreKept) {
  TSNMPRec rec;
  ASSERT_TRUE(rec.DecodeBuf(test::ManyBindingsTrap(1000)));
  EXPECT_EQ(rec.MIBCount(), 1000);
  try {
    rec.DecodeBuf(test::ManyBindingsTrap(1001));
    FAIL() << "1001 bindings taken in";
  } catch (const ESnmpError& e) {
    EXPECT_STREQ(e.what(), "more than 1000 variable bindings");
  }
}

// Text forms may be longer than their bytes: an OID arc of one byte reads as
// up to four characters. The record still keeps no more than twice the
// datagram.
TEST(SnmpMessageTest, TextsLongerThanTheirBytesStayWithinTheBound) {
  TSNMPRec sender;
  sender.FVersion = 1;
  sender.FPDUType = kPduTrapV2;
  const std::string longOid = "1.3" + [] {
    std::string arcs;
    for (int i = 0; i < 120; ++i)
      arcs += ".127";
    return arcs;
  }();
  for (int i = 0; i < 400; ++i)
    sender.MIBAdd(longOid, "x", kBerOctetString);
  const std::string datagram = sender.EncodeBuf();
  TSNMPRec rec;
  ASSERT_TRUE(rec.DecodeBuf(datagram));
  EXPECT_LE(rec.StoredBytes(), 2 * datagram.size() + 4096);
  EXPECT_GT(rec.MIBCount(), 0);
  EXPECT_LT(rec.MIBCount(), 400);  // the later ones did not fit
  EXPECT_EQ(rec.MIBByIndex(0)->FOID, longOid);
}

TEST(SnmpMessageTest, AuthPrivCanStopBeforeDecryption) {
  SampleTrap sample = SampleV3(TV3Flags::AuthPriv);
  const std::string datagram = test::EncodeSample(sample);
  TSNMPRec rec;
  SetSampleReceiver(rec, sample);
  ASSERT_TRUE(rec.DecodeBuf(datagram, false));
  EXPECT_EQ(rec.FFlags, TV3Flags::AuthPriv);
  EXPECT_EQ(rec.FUserName, sample.User);
  EXPECT_EQ(rec.MIBCount(), 0);
  EXPECT_TRUE(rec.FPrivKey.empty());  // nothing was decrypted
  ASSERT_TRUE(rec.DecodeBuf(datagram));
  EXPECT_EQ(rec.MIBCount(), 3);
}

}  // namespace
}  // namespace tavo
