#include "snmp/SnmpSecurity.h"

#include <gtest/gtest.h>
#include <nettle/md5.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ByteText.h"
#include "SampleTraps.h"
#include "snmp/BerEncoding.h"
#include "snmp/SnmpDefaults.h"

namespace tavo {
namespace {

using test::Hex;
using test::Unhex;

const std::string kEngineA3 = Unhex("00 00 00 00 00 00 00 00 00 00 00 02");

TEST(SnmpSecurityTest, LocalisedKeysOfRfc3414AppendixA3) {
  struct Case {
    TV3Auth Mode;
    const char* Ku;
    const char* Kul;
  };
  const Case cases[] = {
      {TV3Auth::AuthMD5, "9F AF 32 83 88 4E 92 83 4E BC 98 47 D8 ED D9 63",
       "52 6F 5E ED 9F CC E2 6F 89 64 C2 93 07 87 D8 2B"},
      {TV3Auth::AuthSHA1, "9F B5 CC 03 81 49 7B 37 93 52 89 39 FF 78 8D 5D 79 14 52 11",
       "66 95 FE BC 92 88 E3 62 82 23 5F C7 15 1F 12 84 97 B3 8F 3F"},
      // The SHA-2 protocols, as Python's hashlib computes RFC 3414's steps.
      {TV3Auth::AuthSHA224,
       "28 2A 58 67 EE 9A AC 63 9A D5 9D F9 57 2C 7D 3A C0 FB C1 3A 90 5B 6D F0 7D BB F0 0B",
       "0B D8 82 7C 6E 29 F8 06 5E 08 E0 92 37 F1 77 E4 10 F6 9B 90 E1 78 2B E6 82 07 56 74"},
      {TV3Auth::AuthSHA256,
       "AB 51 01 4D 1E 07 7F 60 17 DF 2B 12 BE E5 F5 AA 72 99 31 77 E9 BB 56 9C 4D FF 5A 4C A0 B4 "
       "AF AC",
       "89 82 E0 E5 49 E8 66 DB 36 1A 6B 62 5D 84 CC CC 11 16 2D 45 3E E8 CE 3A 64 45 C2 D6 77 6F "
       "0F 8B"},
      {TV3Auth::AuthSHA384,
       "E0 6E CC DF 2C 68 A0 6E D0 34 72 3C 9C 26 E0 DB 3B 66 9E 1E 2E FE D4 91 50 B5 53 77 A2 E9 "
       "8F 38 3C 86 FB 83 68 57 44 46 54 B2 87 C9 3F 51 FF 64",
       "3B 29 8F 16 16 4A 11 18 42 79 D5 43 2B F1 69 E2 D2 A4 83 07 DE 02 B3 D3 F7 E2 B4 F3 6E B6 "
       "F0 45 5A 53 68 9A 39 37 EE A0 73 19 A6 33 D2 CC BA 78"},
      {TV3Auth::AuthSHA512,
       "7E 43 96 DE 5A AD C7 7B E8 53 81 9B 98 C9 40 62 65 B3 A9 C3 7C C3 17 65 69 84 7A 4E 4F 6F "
       "BA 63 DD 3A 73 D0 49 24 D3 1A 63 F9 5A 60 1F 93 85 AF 6B E4 ED 1B 37 F8 7D 04 0F 7C 6E D6 "
       "F8 D3 8A 91",
       "22 A5 A3 6C ED FC C0 85 80 7A 12 8D 7B C6 C2 38 21 67 AD 6C 0D BC 5F DF F8 56 74 0F 3D 84 "
       "C0 99 AD 1E A8 7A 8D B0 96 71 4D 97 88 BD 54 40 47 C9 02 1E 42 29 CE 27 E4 C0 A6 92 50 AD "
       "FC FF BB 0B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Mode));
    EXPECT_EQ(Hex(PasswordToKey("maplesyrup", c.Mode)), c.Ku);
    EXPECT_EQ(Hex(LocalizeKey(Unhex(c.Ku), c.Mode, kEngineA3)), c.Kul);
    EXPECT_EQ(Hex(DeriveLocalKey("maplesyrup", c.Mode, kEngineA3)), c.Kul);
  }
}

// The codes are the HMAC cut to the protocol's length (Python's hmac module
// computed them with the keys above).
TEST(SnmpSecurityTest, AuthCodesOfEachLength) {
  const struct {
    TV3Auth Mode;
    const char* Code;
  } cases[] = {
      {TV3Auth::AuthSHA224, "F1 AD B3 E1 BC E6 9B 9A F2 12 47 33 53 EE 11 F2"},
      {TV3Auth::AuthSHA256,
       "3C AA 79 F2 D4 EA A0 E5 ED DB 53 4F ED 7E 8B 6E 1E 66 03 7A 65 A4 B5 E9"},
      {TV3Auth::AuthSHA384,
       "46 52 A8 DA A3 0E 90 4E 78 F3 2C 52 B0 87 49 11 CE 11 DB 13 49 B6 F2 5E 3C FA B5 2D 59 E4 "
       "6B CF"},
      {TV3Auth::AuthSHA512,
       "ED 25 88 C1 BB B4 4C B5 60 D6 65 B5 85 14 0C CB CF 3A A4 CD 51 0D BE 05 02 E8 20 BD 89 9F "
       "EF 3C CC B6 D5 ED 1E 4C 77 14 C9 62 09 5C 40 FE B0 34"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Mode));
    const std::string key = DeriveLocalKey("maplesyrup", c.Mode, kEngineA3);
    EXPECT_EQ(Hex(ComputeAuthCode("The message to authenticate", c.Mode, key)), c.Code);
    EXPECT_EQ(AuthCodeLength(c.Mode) * 3 - 1, std::string(c.Code).size());
  }
  EXPECT_EQ(AuthCodeLength(TV3Auth::AuthMD5), 12u);
  EXPECT_EQ(AuthCodeLength(TV3Auth::AuthSHA1), 12u);
}

TEST(SnmpSecurityTest, ProtocolNamesIgnoreCaseAndHyphens) {
  EXPECT_EQ(AuthProtocolByName("md5"), TV3Auth::AuthMD5);
  EXPECT_EQ(AuthProtocolByName("SHA"), TV3Auth::AuthSHA1);
  EXPECT_EQ(AuthProtocolByName("sha-1"), TV3Auth::AuthSHA1);
  EXPECT_EQ(AuthProtocolByName("SHA-224"), TV3Auth::AuthSHA224);
  EXPECT_EQ(AuthProtocolByName("sha256"), TV3Auth::AuthSHA256);
  EXPECT_EQ(AuthProtocolByName("Sha-384"), TV3Auth::AuthSHA384);
  EXPECT_EQ(AuthProtocolByName("SHA512"), TV3Auth::AuthSHA512);
  EXPECT_EQ(PrivProtocolByName("des"), TV3Priv::PrivDES);
  EXPECT_EQ(PrivProtocolByName("3DES"), TV3Priv::Priv3DES);
  EXPECT_EQ(PrivProtocolByName("aes-128"), TV3Priv::PrivAES);
  EXPECT_EQ(PrivProtocolByName("AES192"), TV3Priv::PrivAES192);
  EXPECT_EQ(PrivProtocolByName("AES-256"), TV3Priv::PrivAES256);
  EXPECT_EQ(PrivProtocolByName("aes-192-c"), TV3Priv::PrivAES192C);
  EXPECT_EQ(PrivProtocolByName("AES256C"), TV3Priv::PrivAES256C);
  for (const char* bad : {"", "SHA-2", "SHA 256", "AES-512", "AES-C", "HMAC-MD5"}) {
    EXPECT_EQ(AuthProtocolByName(bad), std::nullopt) << bad;
    EXPECT_EQ(PrivProtocolByName(bad), std::nullopt) << bad;
  }
}

TEST(SnmpSecurityTest, EmptyEngineIdLocalisesAsKuKu) {
  const std::string ku = PasswordToKey("4TorfBalunixe!", TV3Auth::AuthMD5);
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, ku.size(), reinterpret_cast<const std::uint8_t*>(ku.data()));
  md5_update(&ctx, ku.size(), reinterpret_cast<const std::uint8_t*>(ku.data()));
  std::string expected(16, '\0');
  md5_digest(&ctx, 16, reinterpret_cast<std::uint8_t*>(expected.data()));
  EXPECT_EQ(Hex(DeriveLocalKey("4TorfBalunixe!", TV3Auth::AuthMD5, "")), Hex(expected));
}

TEST(SnmpSecurityTest, EmptyPasswordHasNoKey) {
  EXPECT_THROW(PasswordToKey("", TV3Auth::AuthMD5), ESnmpError);
  EXPECT_THROW(DeriveLocalKey("", TV3Auth::AuthSHA1, "e"), ESnmpError);
  EXPECT_THROW(VerifyAuthentication(
                   [] {
                     TSNMPRec rec;
                     rec.FVersion = 3;
                     rec.FFlags = TV3Flags::AuthNoPriv;
                     rec.FPassword = "password1";
                     return rec.EncodeBuf();
                   }(),
                   TV3Auth::AuthMD5, ""),
               ESnmpError);
}

TEST(SnmpSecurityTest, KeyCacheDerivesOnceAndStaysBounded) {
  ClearLocalKeyCache();
  const std::string k1 = DeriveLocalKey("password1", TV3Auth::AuthMD5, "engine");
  EXPECT_EQ(LocalKeyCacheSize(), 1u);
  EXPECT_EQ(DeriveLocalKey("password1", TV3Auth::AuthMD5, "engine"), k1);
  EXPECT_EQ(LocalKeyCacheSize(), 1u);
  // Hash, password and engine ID each tell entries apart, including where
  // a plain concatenation of password and engine ID would be equal.
  EXPECT_NE(DeriveLocalKey("password1", TV3Auth::AuthSHA1, "engine"), k1);
  EXPECT_NE(DeriveLocalKey("password1e", TV3Auth::AuthMD5, "ngine"), k1);
  EXPECT_EQ(LocalKeyCacheSize(), 3u);

  for (std::size_t i = 0; i < kLocalKeyCacheCapacity + 5; ++i) {
    DeriveLocalKey("password1", TV3Auth::AuthMD5, "engine" + std::to_string(i));
  }
  EXPECT_EQ(LocalKeyCacheSize(), kLocalKeyCacheCapacity);
  ClearLocalKeyCache();
  EXPECT_EQ(LocalKeyCacheSize(), 0u);
}

TEST(SnmpSecurityTest, KeyCacheServesSeveralThreads) {
  ClearLocalKeyCache();
  const std::string expected =
      LocalizeKey(PasswordToKey("shared-pw", TV3Auth::AuthSHA1), TV3Auth::AuthSHA1, kEngineA3);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        if (DeriveLocalKey("shared-pw", TV3Auth::AuthSHA1, kEngineA3) != expected)
          ++wrong;
        DeriveLocalKey("own-pw", TV3Auth::AuthMD5, std::to_string(t * 100 + i % 3));
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(LocalKeyCacheSize(), 1u + 12u);
}

struct PrivCase {
  TV3Priv Priv;
  TV3Auth Auth;
  std::size_t CipherLength;  // for 37 bytes of plaintext
  std::size_t KeyLength;
};

TEST(SnmpSecurityTest, PrivacyModes) {
  const PrivCase cases[] = {
      {TV3Priv::PrivDES, TV3Auth::AuthMD5, 40, 16},
      {TV3Priv::PrivDES, TV3Auth::AuthSHA1, 40, 20},
      {TV3Priv::Priv3DES, TV3Auth::AuthMD5, 40, 32},
      {TV3Priv::Priv3DES, TV3Auth::AuthSHA1, 40, 40},
      {TV3Priv::PrivAES, TV3Auth::AuthMD5, 37, 16},
      {TV3Priv::PrivAES, TV3Auth::AuthSHA1, 37, 20},
      // Extended only while shorter than the cipher's key.
      {TV3Priv::Priv3DES, TV3Auth::AuthSHA256, 40, 32},
      {TV3Priv::Priv3DES, TV3Auth::AuthSHA512, 40, 64},
      {TV3Priv::PrivAES192, TV3Auth::AuthMD5, 37, 32},
      {TV3Priv::PrivAES192, TV3Auth::AuthSHA224, 37, 28},
      {TV3Priv::PrivAES256, TV3Auth::AuthSHA1, 37, 40},
      {TV3Priv::PrivAES256, TV3Auth::AuthSHA384, 37, 48},
      {TV3Priv::PrivAES192C, TV3Auth::AuthSHA1, 37, 40},
      {TV3Priv::PrivAES256C, TV3Auth::AuthMD5, 37, 32},
  };
  const std::string plain = BerMakeItem(std::string(35, 'p'), kBerSequence);
  ASSERT_EQ(plain.size(), 37u);
  for (const PrivCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "priv " << static_cast<int>(c.Priv) << " auth " << static_cast<int>(c.Auth));
    TSNMPRec rec;
    rec.FFlags = TV3Flags::AuthPriv;
    rec.FPrivMode = c.Priv;
    rec.FAuthMode = c.Auth;
    rec.FPrivPassword = "QuastelbrinkSorgenlaufwer";
    rec.FAuthEngineID = "engine";
    rec.FAuthEngineBoots = 0x01020304;
    rec.FAuthEngineTime = 500;
    rec.FPrivSaltCounter = 2147483646;

    const std::string item1 = EncryptScopedPdu(rec, plain, 500);
    const std::string salt1 = rec.FPrivSalt;
    EXPECT_EQ(rec.FPrivKey.size(), c.KeyLength);
    const std::string item2 = EncryptScopedPdu(rec, plain, 500);
    const std::string salt2 = rec.FPrivSalt;

    // Salts: boots (DES) or zeros (AES), then the counter, one apart.
    const bool des = c.Priv == TV3Priv::PrivDES || c.Priv == TV3Priv::Priv3DES;
    EXPECT_EQ(Hex(salt1.substr(0, 4)), des ? "01 02 03 04" : "00 00 00 00");
    EXPECT_EQ(Hex(salt1.substr(4)), "7F FF FF FE");
    EXPECT_EQ(Hex(salt2.substr(4)), "7F FF FF FF");
    EXPECT_NE(item1, item2);

    std::size_t pos = 0;
    std::int32_t tag = 0;
    const std::string cipher = BerReadItem(item1, pos, tag);
    EXPECT_EQ(tag, kBerOctetString);
    ASSERT_EQ(cipher.size(), c.CipherLength);

    TSNMPRec receiver;
    receiver.FFlags = TV3Flags::AuthPriv;
    receiver.FPrivMode = c.Priv;
    receiver.FAuthMode = c.Auth;
    receiver.FPrivPassword = rec.FPrivPassword;
    receiver.FAuthEngineID = "engine";
    receiver.FAuthEngineBoots = 0x01020304;
    receiver.FAuthEngineTime = 500;
    receiver.FPrivSalt = salt1;
    std::string expected = plain;
    expected.resize(c.CipherLength, '\0');  // DES keeps its zero padding
    EXPECT_EQ(Hex(DecryptScopedPdu(receiver, cipher)), Hex(expected));
    EXPECT_EQ(receiver.FPrivKey, rec.FPrivKey);
  }
}

TEST(SnmpSecurityTest, PartialDesBlocksAreADecryptionError) {
  for (TV3Priv priv : {TV3Priv::PrivDES, TV3Priv::Priv3DES}) {
    TSNMPRec rec;
    rec.FFlags = TV3Flags::AuthPriv;
    rec.FPrivMode = priv;
    rec.FPrivPassword = "QuastelbrinkSorgenlaufwer";
    rec.FPrivSalt = "short";  // salts of another length are cut or padded
    for (std::size_t length : {1u, 7u, 9u, 37u}) {
      try {
        DecryptScopedPdu(rec, std::string(length, 'x'));
        ADD_FAILURE() << "no error for " << length << " bytes";
      } catch (const ESnmpError& e) {
        EXPECT_EQ(std::string(e.what()), "SNMPv3 decryption error: ciphertext of " +
                                             std::to_string(length) +
                                             " bytes is not a multiple of 8");
      }
    }
    EXPECT_EQ(DecryptScopedPdu(rec, "").size(), 0u);
    EXPECT_EQ(DecryptScopedPdu(rec, std::string(16, 'x')).size(), 16u);
  }
  // AES takes any length.
  TSNMPRec aes;
  aes.FFlags = TV3Flags::AuthPriv;
  aes.FPrivMode = TV3Priv::PrivAES;
  aes.FPrivPassword = "QuastelbrinkSorgenlaufwer";
  aes.FPrivSalt = std::string(20, 's');
  EXPECT_EQ(DecryptScopedPdu(aes, std::string(37, 'x')).size(), 37u);
}

TEST(SnmpSecurityTest, PrivacyStepsOnlyActForAuthPriv) {
  TSNMPRec rec;
  rec.FFlags = TV3Flags::AuthNoPriv;
  rec.FPrivKey = "old";
  EXPECT_EQ(EncryptScopedPdu(rec, "plain", 0), "plain");
  EXPECT_EQ(rec.FPrivKey, "");
  EXPECT_EQ(DecryptScopedPdu(rec, "abc"), "abc");
  rec.FFlags = TV3Flags::AuthPriv;
  EXPECT_THROW(EncryptScopedPdu(rec, "plain", 0), ESnmpError);
  EXPECT_THROW(DecryptScopedPdu(rec, "12345678"), ESnmpError);
}

// --- verification of received messages ---------------------------------------

// A BER item with its length always in the two-byte long form, as some
// encoders write sequences.
std::string LongItem(std::uint8_t aTag, const std::string& aContent) {
  std::string item(1, static_cast<char>(aTag));
  item += '\x82';
  item += static_cast<char>(aContent.size() >> 8);
  item += static_cast<char>(aContent.size() & 0xFF);
  return item + aContent;
}

// An AuthNoPriv message laid out as another encoder might: long-form
// lengths, its own msgID, its engine ID, msgMaxSize 65507; signed with the
// key localised for that engine ID.
std::string ForeignMessage(TV3Auth aAuth, const std::string& aPassword) {
  const std::string engine = Unhex("80 00 1F 88 80 5B 1C 2A 00 11 22 33 44");
  auto integer = [](std::int32_t v) { return BerMakeItem(BerEncodeInteger(v), kBerInteger); };
  auto octets = [](const std::string& s) { return BerMakeItem(s, kBerOctetString); };
  const std::string header =
      LongItem(0x30, integer(987654) + integer(65507) + octets("\x01") + integer(3));
  const std::string scoped = LongItem(
      0x30,
      octets(engine) + octets("") +
          LongItem(
              0xA7,
              integer(31337) + integer(0) + integer(0) +
                  LongItem(0x30,
                           LongItem(0x30,
                                    BerMakeItem(OidTextToBytes("1.3.6.1.2.1.1.3.0"), kBerObjectId) +
                                        BerMakeItem(BerEncodeUnsigned(42), kBerTimeTicks)))));
  auto build = [&](const std::string& aCode) {
    const std::string usm = LongItem(0x30, octets(engine) + integer(1) + integer(77) +
                                               octets("netsnmpuser") + octets(aCode) + octets(""));
    return LongItem(0x30, integer(3) + header + octets(usm) + scoped);
  };
  const std::string key = DeriveLocalKey(aPassword, aAuth, engine);
  return build(ComputeAuthCode(build(std::string(12, '\0')), aAuth, key));
}

TEST(SnmpSecurityTest, VerificationAcceptsAuthenticMessages) {
  for (TV3Auth auth : {TV3Auth::AuthMD5, TV3Auth::AuthSHA1}) {
    for (TV3Flags level : {TV3Flags::AuthNoPriv, TV3Flags::AuthPriv}) {
      const test::SampleTrap sample = test::SampleV3(level, auth);
      SCOPED_TRACE(test::SampleName(sample));
      const std::string bytes = test::EncodeSample(sample);
      const std::string password = kDefaultTrapUserPassword;
      std::string nearly = password;
      nearly.back() = '?';
      EXPECT_TRUE(VerifyAuthentication(bytes, auth, password));
      EXPECT_FALSE(VerifyAuthentication(bytes, auth, nearly));
      const TV3Auth other = auth == TV3Auth::AuthMD5 ? TV3Auth::AuthSHA1 : TV3Auth::AuthMD5;
      EXPECT_FALSE(VerifyAuthentication(bytes, other, password));
      // Trailing bytes after the message are not part of it.
      EXPECT_TRUE(VerifyAuthentication(bytes + "xyz", auth, password));
    }
    const std::string foreign = ForeignMessage(auth, "authpass123");
    EXPECT_TRUE(VerifyAuthentication(foreign, auth, "authpass123"));
    EXPECT_FALSE(VerifyAuthentication(foreign, auth, "authpass124"));
    // The decoder reads it too, and re-encoding would not reproduce it.
    TSNMPRec rec;
    ASSERT_TRUE(rec.DecodeBuf(foreign));
    EXPECT_EQ(rec.FUserName, "netsnmpuser");
    EXPECT_EQ(rec.MIBGet("1.3.6.1.2.1.1.3.0"), "42");
    rec.FPassword = "authpass123";
    rec.FAuthMode = auth;
    rec.FAuthEngineTimeStamp = 0;
    const std::string received = rec.FAuthKey;
    rec.EncodeBuf();
    EXPECT_NE(rec.FAuthKey, received);
  }
}

TEST(SnmpSecurityTest, VerificationRefusesEveryChangedByte) {
  const std::string bytes = ForeignMessage(TV3Auth::AuthMD5, "authpass123");
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string damaged = bytes;
    damaged[i] = static_cast<char>(damaged[i] ^ 0x01);
    EXPECT_FALSE(VerifyAuthentication(damaged, TV3Auth::AuthMD5, "authpass123")) << "byte " << i;
  }
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_FALSE(VerifyAuthentication(bytes.substr(0, n), TV3Auth::AuthMD5, "authpass123"));
  }
}

TEST(SnmpSecurityTest, VerificationRefusesOtherMessages) {
  // An SNMPv1 trap, and an SNMPv3 one with empty authentication parameters.
  const std::vector<std::string> others = {
      "", Unhex("30 00"), Unhex("30 03 02 01 03"), test::EncodeSample(test::SampleV1()),
      test::EncodeSample(test::SampleV3(TV3Flags::NoAuthNoPriv))};
  for (const std::string& bytes : others) {
    EXPECT_FALSE(VerifyAuthentication(bytes, TV3Auth::AuthMD5, "authpass123")) << Hex(bytes);
  }
}

}  // namespace
}  // namespace tavo
