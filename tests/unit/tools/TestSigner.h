#pragma once
#include <string>

// Signs as the publisher does, with the test keys of testbed/keys (the
// system's cryptography: libcrypto natively, CNG under Windows).
enum class TestKey { Current, Next, Other };

// The uncompressed public point of a test key (65 bytes).
std::string TestPublicKey(TestKey key);
// The key id that testbed/keys/tool-keys.txt gives it ("velmora-test-...").
std::string TestKeyId(TestKey key);
// ECDSA P-256/SHA-256 of `message` as r || s (64 bytes); empty on failure.
std::string SignForTest(TestKey key, const std::string& message);
// A whole "<file>.sig" text for `content`.
std::string SignatureFileFor(const std::string& name, const std::string& version,
                             const std::string& content, TestKey key = TestKey::Current);
// Bytes from hexadecimal digits.
std::string HexBytes(const std::string& hex);
