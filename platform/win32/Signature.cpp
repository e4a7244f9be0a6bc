#include "platform/Signature.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

constexpr size_t kCoordinateSize = 32;
constexpr size_t kDigestSize = 32;

bool Succeeded(NTSTATUS status) { return status >= 0; }

class Algorithm {
 public:
  explicit Algorithm(const wchar_t* id) {
    if (!Succeeded(BCryptOpenAlgorithmProvider(&m_handle, id, nullptr, 0))) m_handle = nullptr;
  }
  ~Algorithm() {
    if (m_handle) BCryptCloseAlgorithmProvider(m_handle, 0);
  }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  BCRYPT_ALG_HANDLE get() const { return m_handle; }

 private:
  BCRYPT_ALG_HANDLE m_handle = nullptr;
};

bool Sha256(const unsigned char* message, size_t size, unsigned char* digest) {
  Algorithm sha(BCRYPT_SHA256_ALGORITHM);
  if (!sha.get()) return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!Succeeded(BCryptCreateHash(sha.get(), &hash, nullptr, 0, nullptr, 0, 0))) return false;
  bool ok = true;
  // BCryptHashData takes at most 4 GiB at a time.
  for (size_t at = 0; ok && at < size;) {
    ULONG piece = static_cast<ULONG>(std::min<size_t>(size - at, 0x40000000));
    ok = Succeeded(BCryptHashData(hash, const_cast<PUCHAR>(message + at), piece, 0));
    at += piece;
  }
  ok = ok && Succeeded(BCryptFinishHash(hash, digest, kDigestSize, 0));
  BCryptDestroyHash(hash);
  return ok;
}

}  // namespace

bool VerifyEcdsaP256(const unsigned char* publicKey, const unsigned char* message,
                     size_t messageSize, const unsigned char* signature) {
  if (publicKey[0] != 0x04) return false;
  unsigned char digest[kDigestSize];
  if (!Sha256(message, messageSize, digest)) return false;
  Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!ecdsa.get()) return false;
  // BCRYPT_ECCKEY_BLOB followed by X and Y.
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kCoordinateSize];
  BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kCoordinateSize};
  memcpy(blob, &header, sizeof header);
  memcpy(blob + sizeof header, publicKey + 1, 2 * kCoordinateSize);
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!Succeeded(BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob,
                                     sizeof blob, 0)))
    return false;
  unsigned char copy[kEcdsaP256SignatureSize];
  memcpy(copy, signature, sizeof copy);
  NTSTATUS status = BCryptVerifySignature(key, nullptr, digest, kDigestSize, copy, sizeof copy, 0);
  BCryptDestroyKey(key);
  return status == 0;  // STATUS_SUCCESS; anything else is a wrong signature or an error
}

}  // namespace platform
