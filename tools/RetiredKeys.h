#pragma once
#include <set>
#include <string>
#include <vector>

#include "tools/ToolSignature.h"

// The publisher's list of retired keys, "keys.retired" beside the tool
// files, signed as a tool file is ("keys.retired.sig", version "-"):
//   velmora-retired-keys 1
//   retired <key id>
// one "retired" line per key (none is a list that retires nothing). A key
// is retired only by a list signed with a later key of the compiled order
// (current, then next) that is not retired itself: a leaked earlier key can
// never retire the keys that replace it, nor can a key retire itself.

extern const char kRetiredKeysFile[];  // "keys.retired"

// The ids the list names; false when the text is not a list of this form.
bool ParseRetiredKeyList(const std::string& text, std::vector<std::string>& ids);

// What one fetched list does to `keys` (the compiled keys, those already
// retired marked).
struct RetiredKeyVerdict {
  SignatureCheck signature = SignatureCheck::Missing;
  bool readable = false;              // a signed list of the form above
  std::string signer;                 // the key that signed it
  std::vector<std::string> retired;   // the keys it retires now
  std::vector<std::string> refused;   // named, but not the signer's to retire
};
RetiredKeyVerdict JudgeRetiredKeyList(const std::string& list, const std::string& signatureText,
                                      const std::vector<ToolKey>& keys);

// The retirements kept on this machine: one key id a line.
std::set<std::string> ParseStoredRetirements(const std::string& text);
std::string FormatStoredRetirements(const std::set<std::string>& ids);
// `keys` with the stored retirements marked.
std::vector<ToolKey> WithRetirements(std::vector<ToolKey> keys, const std::set<std::string>& ids);
