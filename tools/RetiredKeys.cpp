#include "tools/RetiredKeys.h"

const char kRetiredKeysFile[] = "keys.retired";

namespace {

const char kListMagic[] = "velmora-retired-keys 1";
const char kRetiredPrefix[] = "retired ";

// The lines of `text` without their ends ("\n" or "\r\n").
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

// A key id as the keys file allows it: visible ASCII, no blank.
bool IsKeyId(const std::string& id) {
  if (id.empty()) return false;
  for (char c : id)
    if (c <= ' ' || c > '~') return false;
  return true;
}

}  // namespace

bool ParseRetiredKeyList(const std::string& text, std::vector<std::string>& ids) {
  const std::vector<std::string> lines = Lines(text);
  if (lines.empty() || lines[0] != kListMagic) return false;
  const size_t prefix = sizeof kRetiredPrefix - 1;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    if (line.compare(0, prefix, kRetiredPrefix) != 0 || !IsKeyId(line.substr(prefix))) return false;
    ids.push_back(line.substr(prefix));
  }
  return true;
}

RetiredKeyVerdict JudgeRetiredKeyList(const std::string& list, const std::string& signatureText,
                                      const std::vector<ToolKey>& keys) {
  RetiredKeyVerdict verdict;
  verdict.signature = CheckToolSignature(signatureText, kRetiredKeysFile, list, "", keys);
  std::vector<std::string> ids;
  if (verdict.signature != SignatureCheck::Good || !ParseRetiredKeyList(list, ids)) return verdict;
  ToolSignature signature;
  ParseToolSignature(signatureText, signature);
  verdict.readable = true;
  verdict.signer = signature.keyId;
  const int signerRank = ToolKeyRank(keys, signature.keyId);
  for (const std::string& id : ids) {
    const int rank = ToolKeyRank(keys, id);
    if (rank < 0 || rank >= signerRank)
      verdict.refused.push_back(id);
    else if (!keys[rank].retired)
      verdict.retired.push_back(id);
  }
  return verdict;
}

std::set<std::string> ParseStoredRetirements(const std::string& text) {
  std::set<std::string> ids;
  for (const std::string& line : Lines(text))
    if (IsKeyId(line)) ids.insert(line);
  return ids;
}

std::string FormatStoredRetirements(const std::set<std::string>& ids) {
  std::string text;
  for (const std::string& id : ids) text += id + "\r\n";
  return text;
}

std::vector<ToolKey> WithRetirements(std::vector<ToolKey> keys, const std::set<std::string>& ids) {
  for (ToolKey& key : keys)
    if (ids.count(key.id)) key.retired = true;
  return keys;
}
