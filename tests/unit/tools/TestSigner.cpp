#include "TestSigner.h"

#include "net/Codecs.h"

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#endif

namespace {

struct KeyPair {
  const char* id;
  const char* d;
  const char* point;
};

// testbed/keys/test-*.pem: the private scalar and the public point.
const KeyPair kKeys[] = {
    {"velmora-test-current", "233D65703E29A7E06A2BA6212712339F82C034C47EFCA1E8AA821E97C038FABB",
     "0466db7c2e5d437a4a6ac71a0179837ce182549487341c1b455b20ffbe962e0cf378aa016255d182cd9e173dbd34331efdfe04125e0d549ea79d74d6ac47f2e97b"},
    {"velmora-test-next", "6C7FA2A9768FD908B7B3E881B2B309D3C75C1F2EF13AD4588D2049A3C16A95E8",
     "047123b3d9a1af743dd0e9534ba088c6c28cd9f6941f4337cba35465a8a2ed56a5a1ec14c39ff8cbf1f31be245d622993e1df02d274ec591d760059dfc74657463"},
    {"velmora-test-other", "2BC7B9E8843010B7480E7A5D2241ADC2E8313BAA3973AB1630A21789C71966AA",
     "0427a18998f1970de992d7c595be92d042bc9a5246e8c598e3dce19332547f787dbcf88c075e8c300ff692c04a12bf239a0fb7276c8d3c4a8e74ca8e526050a9c8"},
};

const KeyPair& Pair(TestKey key) { return kKeys[static_cast<int>(key)]; }

#ifdef _WIN32
std::string Sign(const std::string& d, const std::string& point, const std::string& message) {
  BCRYPT_ALG_HANDLE sha = nullptr, ecdsa = nullptr;
  unsigned char digest[32];
  std::string out;
  if (BCryptOpenAlgorithmProvider(&sha, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return out;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool hashed = BCryptCreateHash(sha, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
  hashed = hashed && BCryptHashData(hash, (PUCHAR)message.data(), (ULONG)message.size(), 0) >= 0 &&
           BCryptFinishHash(hash, digest, sizeof digest, 0) >= 0;
  if (hash) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(sha, 0);
  if (!hashed || BCryptOpenAlgorithmProvider(&ecdsa, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0)
    return out;
  BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
  std::string blob(reinterpret_cast<const char*>(&header), sizeof header);
  blob += point.substr(1) + d;
  BCRYPT_KEY_HANDLE handle = nullptr;
  if (BCryptImportKeyPair(ecdsa, nullptr, BCRYPT_ECCPRIVATE_BLOB, &handle, (PUCHAR)blob.data(),
                          (ULONG)blob.size(), 0) >= 0) {
    unsigned char signature[64];
    ULONG size = 0;
    if (BCryptSignHash(handle, nullptr, digest, sizeof digest, signature, sizeof signature, &size,
                       0) >= 0 && size == sizeof signature)
      out.assign(reinterpret_cast<char*>(signature), size);
    BCryptDestroyKey(handle);
  }
  BCryptCloseAlgorithmProvider(ecdsa, 0);
  return out;
}
#else
std::string Sign(const std::string& d, const std::string& point, const std::string& message) {
  // The key as SEC 1 ECPrivateKey DER: version, d, the curve, the point.
  std::string der = HexBytes("307702010104") + '\x20' + d +
                    HexBytes("a00a06082a8648ce3d030107a144034200") + point;
  const unsigned char* at = reinterpret_cast<const unsigned char*>(der.data());
  EVP_PKEY* key = d2i_PrivateKey(EVP_PKEY_EC, nullptr, &at, (long)der.size());
  std::string out;
  if (!key) return out;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  size_t size = 0;
  unsigned char signature[80];
  size = sizeof signature;
  if (EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
      EVP_DigestSign(context, signature, &size, (const unsigned char*)message.data(),
                     message.size()) == 1) {
    const unsigned char* p = signature;
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &p, (long)size);
    if (sig) {
      unsigned char rs[64];
      BN_bn2binpad(ECDSA_SIG_get0_r(sig), rs, 32);
      BN_bn2binpad(ECDSA_SIG_get0_s(sig), rs + 32, 32);
      out.assign(reinterpret_cast<char*>(rs), sizeof rs);
      ECDSA_SIG_free(sig);
    }
  }
  EVP_MD_CTX_free(context);
  EVP_PKEY_free(key);
  return out;
}
#endif

}  // namespace

std::string HexBytes(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::string TestPublicKey(TestKey key) { return HexBytes(Pair(key).point); }

std::string TestKeyId(TestKey key) { return Pair(key).id; }

std::string SignForTest(TestKey key, const std::string& message) {
  return Sign(HexBytes(Pair(key).d), TestPublicKey(key), message);
}

std::string SignatureFileFor(const std::string& name, const std::string& version,
                             const std::string& content, TestKey key) {
  const std::string header = "velmora-signature 1\nfile: " + name + "\nversion: " + version +
                             "\nkey: " + TestKeyId(key) + "\n";
  const std::string signature = SignForTest(key, header + content);
  return header + "signature: " + Base64Encode(signature.data(), signature.size()) + "\n";
}
