#include <gtest/gtest.h>

#include "TestSigner.h"
#include "net/Codecs.h"
#include "platform/Signature.h"
#include "tools/ToolSignature.h"

namespace {

// RFC 6979, A.2.5: the P-256 key and its deterministic SHA-256 signatures.
const char kRfcPoint[] =
    "0460FED4BA255A9D31C961EB74C6356D68C049B8923B61FA6CE669622E60F29FB6"
    "7903FE1008B8BC99A41AE9E95628BC64F2F1B20C2D7E9F5177A3C294D4462299";
struct Vector {
  const char* message;
  const char* rs;
} const kRfcVectors[] = {
    {"sample",
     "EFD48B2AACB6A8FD1140DD9CD45E81D69D2C877B56AAF991C34D0EA84EAF3716"
     "F7CB1C942D657C41D436C7A1B6E29F65F3E900DBB9AFF4064DC4AB2F843ACDA8"},
    {"test",
     "F1ABB023518351CD71D881567B1EA663ED3EFCF6C5132B354F28D3B0B7D38367"
     "019F4113742A2B14BD25926B49C649155F267E60D3814B4C0CC84250E46F0083"},
};

bool Verify(const std::string& point, const std::string& message, const std::string& rs) {
  return platform::VerifyEcdsaP256(reinterpret_cast<const unsigned char*>(point.data()),
                                   reinterpret_cast<const unsigned char*>(message.data()),
                                   message.size(),
                                   reinterpret_cast<const unsigned char*>(rs.data()));
}

std::string Flip(std::string bytes, size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
  return bytes;
}

TEST(EcdsaP256, PublishedVectorsHoldAndEveryChangeBreaksThem) {
  const std::string point = HexBytes(kRfcPoint);
  for (const Vector& v : kRfcVectors) {
    const std::string rs = HexBytes(v.rs);
    EXPECT_TRUE(Verify(point, v.message, rs)) << v.message;
    EXPECT_FALSE(Verify(point, v.message + std::string("."), rs)) << v.message;
    EXPECT_FALSE(Verify(point, v.message, Flip(rs, 31))) << "r of " << v.message;
    EXPECT_FALSE(Verify(point, v.message, Flip(rs, 63))) << "s of " << v.message;
    EXPECT_FALSE(Verify(Flip(point, 64), v.message, rs)) << "a point off the curve";
  }
  // The two vectors' signatures are not each other's.
  EXPECT_FALSE(Verify(point, "sample", HexBytes(kRfcVectors[1].rs)));
}

TEST(EcdsaP256, MalformedKeysAndSignaturesAreRefused) {
  const std::string point = HexBytes(kRfcPoint);
  const std::string rs = HexBytes(kRfcVectors[0].rs);
  std::string compressedTag = point;
  compressedTag[0] = 0x02;
  const std::string zero(32, '\0'), ones(32, '\xff');
  struct {
    const char* what;
    std::string point, rs;
  } const cases[] = {
      {"not an uncompressed point", compressedTag, rs},
      {"r is zero", point, zero + rs.substr(32)},
      {"s is zero", point, rs.substr(0, 32) + zero},
      {"r above the group order", point, ones + rs.substr(32)},
      {"s above the group order", point, rs.substr(0, 32) + ones},
      {"the point at zero", std::string(1, '\x04') + zero + zero, rs},
  };
  for (const auto& c : cases) EXPECT_FALSE(Verify(c.point, "sample", c.rs)) << c.what;
}

TEST(EcdsaP256, TheTestSignerAgreesWithTheVerifier) {
  for (TestKey key : {TestKey::Current, TestKey::Next, TestKey::Other}) {
    const std::string signature = SignForTest(key, "payload");
    ASSERT_EQ(signature.size(), 64u) << TestKeyId(key);
    EXPECT_TRUE(Verify(TestPublicKey(key), "payload", signature)) << TestKeyId(key);
  }
}

// What the program compiles in by default is the test pair, current and next.
TEST(ToolSignature, TestBuildsTrustTheTestKeys) {
  const auto& keys = TrustedToolKeys();
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].id, TestKeyId(TestKey::Current));
  EXPECT_EQ(keys[0].point, TestPublicKey(TestKey::Current));
  EXPECT_EQ(keys[1].id, TestKeyId(TestKey::Next));
  EXPECT_EQ(keys[1].point, TestPublicKey(TestKey::Next));
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string ToCrlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(ToolSignature, ChecksOfOneFile) {
  const std::string bytes = "MZ the new build";
  const std::string good = SignatureFileFor("VelmoraURL.exe", "1.2.0.0", bytes);
  const std::string plugin = SignatureFileFor("VmBrowser.dll", "-", bytes);
  std::string foreignSig = good;  // the current key's id over the other key's signature
  {
    std::string other = SignatureFileFor("VelmoraURL.exe", "1.2.0.0", bytes, TestKey::Other);
    foreignSig = good.substr(0, good.find("signature: ")) + other.substr(other.find("signature: "));
  }
  const std::string crlfHeader = ToCrlf(good.substr(0, good.find("signature: ")));
  const std::string crlfSignature = SignForTest(TestKey::Current, crlfHeader + bytes);
  const std::string crlfSigned = crlfHeader + "signature: " +
                                 Base64Encode(crlfSignature.data(), crlfSignature.size()) + "\r\n";
  struct {
    const char* what;
    std::string text, name, content, minimum;
    SignatureCheck expected;
  } const cases[] = {
      {"the current key", good, "VelmoraURL.exe", bytes, "1.0.0.1", SignatureCheck::Good},
      {"the next key", SignatureFileFor("VelmoraURL.exe", "1.2", bytes, TestKey::Next),
       "VelmoraURL.exe", bytes, "1.0.0.1", SignatureCheck::Good},
      {"the same version", good, "VelmoraURL.exe", bytes, "1.2.0.0", SignatureCheck::Good},
      {"a file without a version", plugin, "VmBrowser.dll", bytes, "", SignatureCheck::Good},
      {"CRLF lines, as signed", crlfSigned, "VelmoraURL.exe", bytes, "1.0", SignatureCheck::Good},
      {"CRLF lines made after signing", ToCrlf(good), "VelmoraURL.exe", bytes, "",
       SignatureCheck::BadSignature},
      {"other bytes", good, "VelmoraURL.exe", bytes + " ", "", SignatureCheck::BadSignature},
      {"a version moved up", Replace(good, "1.2.0.0", "9.2.0.0"), "VelmoraURL.exe", bytes, "",
       SignatureCheck::BadSignature},
      {"a name moved", Replace(plugin, "VmBrowser.dll", "VelmoraURL.exe"), "VelmoraURL.exe", bytes,
       "", SignatureCheck::BadSignature},
      {"another key", SignatureFileFor("VelmoraURL.exe", "1.2.0.0", bytes, TestKey::Other),
       "VelmoraURL.exe", bytes, "", SignatureCheck::UnknownKey},
      {"another key's signature under a trusted id", foreignSig, "VelmoraURL.exe", bytes, "",
       SignatureCheck::BadSignature},
      {"signed for another file", plugin, "VelmoraURL.exe", bytes, "", SignatureCheck::WrongFile},
      {"older than the running build", good, "VelmoraURL.exe", bytes, "1.10",
       SignatureCheck::Downgrade},
      {"the program without a version", SignatureFileFor("VelmoraURL.exe", "-", bytes),
       "VelmoraURL.exe", bytes, "1.0.0.1", SignatureCheck::NoVersion},
      {"empty", "", "VelmoraURL.exe", bytes, "", SignatureCheck::Malformed},
      {"an error page", "<html>404</html>", "VelmoraURL.exe", bytes, "", SignatureCheck::Malformed},
      {"another format version", Replace(good, "velmora-signature 1", "velmora-signature 2"),
       "VelmoraURL.exe", bytes, "", SignatureCheck::Malformed},
      {"a cut signature", good.substr(0, good.size() - 10) + "\n", "VelmoraURL.exe", bytes, "",
       SignatureCheck::Malformed},
      {"text after the signature", good + "extra\n", "VelmoraURL.exe", bytes, "",
       SignatureCheck::Malformed},
      {"fields out of order", Replace(Replace(good, "file: ", "KEEP: "), "version: ", "file: "),
       "VelmoraURL.exe", bytes, "", SignatureCheck::Malformed},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CheckToolSignature(c.text, c.name, c.content, c.minimum, TrustedToolKeys()),
              c.expected)
        << c.what;
}

TEST(ToolSignature, VersionsCompareByNumberPerPart) {
  struct {
    const char* a;
    const char* b;
    bool valid;
    int order;
  } const cases[] = {
      {"1.0.0.1", "1.0.0.1", true, 0}, {"1.0", "1.0.0.0", true, 0},
      {"1.10", "1.9", true, 1},        {"1.0.0.0", "1.0.0.1", true, -1},
      {"2", "1.99.99.99", true, 1},    {"-", "1.0", false, 0},
      {"1..0", "1.0", false, 0},       {"1.0.", "1.0", false, 0},
      {"1.0a", "1.0", false, 0},       {"1234567890", "1", false, 0},
  };
  for (const auto& c : cases) {
    int order = 9;
    EXPECT_EQ(CompareVersions(c.a, c.b, order), c.valid) << c.a << " " << c.b;
    if (c.valid) {
      EXPECT_EQ(order, c.order) << c.a << " " << c.b;
    }
  }
}

}  // namespace
