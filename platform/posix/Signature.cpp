#include "platform/Signature.h"

#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <string>

namespace platform {
namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
  void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using SigPtr = std::unique_ptr<ECDSA_SIG, Freer<ECDSA_SIG, ECDSA_SIG_free>>;
using ContextPtr = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX, EVP_MD_CTX_free>>;

// The uncompressed point as a P-256 public key.
KeyPtr ImportPublicKey(const unsigned char* point) {
  if (point[0] != 0x04) return nullptr;
  // The SubjectPublicKeyInfo prefix of a P-256 key: the algorithm
  // (id-ecPublicKey, prime256v1) and the bit string that holds the point.
  static const unsigned char kPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                          0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                          0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};
  unsigned char info[sizeof kPrefix + kEcdsaP256PublicKeySize];
  std::copy(kPrefix, kPrefix + sizeof kPrefix, info);
  std::copy(point, point + kEcdsaP256PublicKeySize, info + sizeof kPrefix);
  const unsigned char* at = info;
  return KeyPtr(d2i_PUBKEY(nullptr, &at, sizeof info));
}

// r || s as the DER form that libcrypto verifies; empty when either is 0.
std::basic_string<unsigned char> DerSignature(const unsigned char* signature) {
  SigPtr sig(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(signature, 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature + 32, 32, nullptr);
  if (!sig || !r || !s || !ECDSA_SIG_set0(sig.get(), r, s)) {
    BN_free(r);
    BN_free(s);
    return {};
  }
  unsigned char* der = nullptr;
  int size = i2d_ECDSA_SIG(sig.get(), &der);
  if (size <= 0) return {};
  std::basic_string<unsigned char> out(der, der + size);
  OPENSSL_free(der);
  return out;
}

}  // namespace

bool VerifyEcdsaP256(const unsigned char* publicKey, const unsigned char* message,
                     size_t messageSize, const unsigned char* signature) {
  KeyPtr key = ImportPublicKey(publicKey);
  if (!key) return false;
  const auto der = DerSignature(signature);
  if (der.empty()) return false;
  ContextPtr context(EVP_MD_CTX_new());
  if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
    return false;
  return EVP_DigestVerify(context.get(), der.data(), der.size(), message, messageSize) == 1;
}

}  // namespace platform
