#pragma once
#include <cstddef>

// The system's signature check: ECDSA over the curve P-256 with SHA-256, as
// the tool server's publisher signs. Cryptography stays the system's own
// (CNG on Windows, libcrypto elsewhere).
namespace platform {

constexpr size_t kEcdsaP256PublicKeySize = 65;  // 0x04 || X || Y
constexpr size_t kEcdsaP256SignatureSize = 64;  // r || s, 32 bytes each, big-endian

// Whether `signature` is the key's signature of `message` (hashed here with
// SHA-256). False for a malformed key or signature as for a wrong one.
bool VerifyEcdsaP256(const unsigned char* publicKey, const unsigned char* message,
                     size_t messageSize, const unsigned char* signature);

}  // namespace platform
