#pragma once
#include <string>
#include <vector>

// The publisher's detached signature of one file of the tool server,
// "<file>.sig" beside it: text lines
//   velmora-signature 1
//   file: <name>
//   version: <dotted version, or ->
//   key: <key id>
//   signature: <Base64 of r || s>
// The ECDSA P-256/SHA-256 signature covers the header (every byte before the
// "signature:" line) followed by the file's bytes, so that neither the name
// nor the version can be moved to another file.

struct ToolSignature {
  std::string header;     // the signed text, as it stands in the file
  std::string file;
  std::string version;    // "-" where the file has none
  std::string keyId;
  std::string signature;  // 64 bytes, r || s
};

// A public key that the program trusts: an id and the uncompressed point.
// A retired key (see RetiredKeys.h) is known but signs nothing any more.
struct ToolKey {
  std::string id;
  std::string point;  // 65 bytes
  bool retired = false;
};

// Why a file may or may not be used.
enum class SignatureCheck {
  Good,
  Missing,      // no signature was published
  Malformed,    // not a signature file of this form
  UnknownKey,   // signed with a key that the program does not trust
  RetiredKey,   // signed with a key that the publisher has retired
  WrongFile,    // the signature names another file
  BadSignature, // the bytes or the header are not what the key signed
  NoVersion,    // the program itself, signed without a version
  Downgrade,    // the program itself, signed as older than the running one
  NotKept,      // a kept file whose signature was not kept beside it
};

// False when the text is not a signature file of the form above.
bool ParseToolSignature(const std::string& text, ToolSignature& signature);
// The keys compiled into the program (VELMORA_TOOL_KEYS): current, then next.
const std::vector<ToolKey>& TrustedToolKeys();
// The place of key `id` in `keys` (later keys rank higher); -1 when absent.
int ToolKeyRank(const std::vector<ToolKey>& keys, const std::string& id);
// -1, 0 or 1 as dotted version `a` is older than, equal to or newer than `b`
// (missing parts count as 0); false when either is not digits and dots.
bool CompareVersions(const std::string& a, const std::string& b, int& order);

// Checks the signature text of the file `name` with the bytes `content`.
// `minimumVersion`, when not empty, is the version the signature must name
// at least (the program itself may not be replaced by an older build).
SignatureCheck CheckToolSignature(const std::string& signatureText, const std::string& name,
                                  const std::string& content, const std::string& minimumVersion,
                                  const std::vector<ToolKey>& keys);
// The log's words for a result.
const char* DescribeSignatureCheck(SignatureCheck check);
