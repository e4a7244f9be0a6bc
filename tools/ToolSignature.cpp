#include "tools/ToolSignature.h"

#include <algorithm>

#include "ToolKeys.h"
#include "net/Codecs.h"
#include "platform/Signature.h"

namespace {

const char kMagicLine[] = "velmora-signature 1";
const char kSignatureField[] = "signature: ";
const size_t kSignatureBase64Size = 88;  // 64 bytes, ending in "=="

// One line of `text` from `at`, without its "\n" (and "\r"); `at` moves past it.
bool NextLine(const std::string& text, size_t& at, std::string& line) {
  if (at >= text.size()) return false;
  size_t end = text.find('\n', at);
  if (end == std::string::npos) end = text.size();
  line = text.substr(at, end - at);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  at = end + 1;
  return true;
}

bool Field(const std::string& line, const char* name, std::string& value) {
  const std::string prefix = std::string(name) + ": ";
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  value = line.substr(prefix.size());
  return !value.empty() && value.find_first_of(" \t") == std::string::npos;
}

bool IsBase64Text(const std::string& text) {
  if (text.size() != kSignatureBase64Size || text.compare(text.size() - 2, 2, "==") != 0)
    return false;
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    char c = text[i];
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '+' || c == '/';
    if (!ok) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string FromHex(const char* hex) {
  std::string bytes;
  for (const char* p = hex; p[0] && p[1]; p += 2)
    bytes.push_back(static_cast<char>(HexValue(p[0]) * 16 + HexValue(p[1])));
  return bytes;
}

bool VersionParts(const std::string& text, std::vector<long>& parts) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  long part = 0;
  size_t digits = 0;
  for (char c : text) {
    if (c == '.') {
      if (digits == 0) return false;
      parts.push_back(part);
      part = 0;
      digits = 0;
    } else if (c >= '0' && c <= '9') {
      if (++digits > 9) return false;
      part = part * 10 + (c - '0');
    } else {
      return false;
    }
  }
  parts.push_back(part);
  return true;
}

const ToolKey* FindKey(const std::vector<ToolKey>& keys, const std::string& id) {
  int rank = ToolKeyRank(keys, id);
  if (rank < 0 || keys[rank].point.size() != platform::kEcdsaP256PublicKeySize) return nullptr;
  return &keys[rank];
}

}  // namespace

bool ParseToolSignature(const std::string& text, ToolSignature& signature) {
  size_t at = 0;
  std::string line;
  if (!NextLine(text, at, line) || line != kMagicLine) return false;
  if (!NextLine(text, at, line) || !Field(line, "file", signature.file)) return false;
  if (!NextLine(text, at, line) || !Field(line, "version", signature.version)) return false;
  if (!NextLine(text, at, line) || !Field(line, "key", signature.keyId)) return false;
  signature.header = text.substr(0, at);
  std::string encoded;
  if (!NextLine(text, at, line) || !Field(line, "signature", encoded)) return false;
  // Nothing but an empty line may follow.
  std::string rest;
  while (NextLine(text, at, rest))
    if (!rest.empty()) return false;
  if (!IsBase64Text(encoded)) return false;
  signature.signature = Base64Decode(encoded);
  return signature.signature.size() == platform::kEcdsaP256SignatureSize;
}

const std::vector<ToolKey>& TrustedToolKeys() {
  static const std::vector<ToolKey> keys = [] {
    std::vector<ToolKey> list;
    list.push_back({VELMORA_TOOL_KEY_CURRENT_ID, FromHex(VELMORA_TOOL_KEY_CURRENT_HEX)});
    if (*VELMORA_TOOL_KEY_NEXT_ID)
      list.push_back({VELMORA_TOOL_KEY_NEXT_ID, FromHex(VELMORA_TOOL_KEY_NEXT_HEX)});
    return list;
  }();
  return keys;
}

int ToolKeyRank(const std::vector<ToolKey>& keys, const std::string& id) {
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i].id == id) return static_cast<int>(i);
  return -1;
}

bool CompareVersions(const std::string& a, const std::string& b, int& order) {
  std::vector<long> left, right;
  if (!VersionParts(a, left) || !VersionParts(b, right)) return false;
  size_t count = std::max(left.size(), right.size());
  left.resize(count, 0);
  right.resize(count, 0);
  order = left < right ? -1 : left == right ? 0 : 1;
  return true;
}

SignatureCheck CheckToolSignature(const std::string& signatureText, const std::string& name,
                                  const std::string& content, const std::string& minimumVersion,
                                  const std::vector<ToolKey>& keys) {
  ToolSignature signature;
  if (!ParseToolSignature(signatureText, signature)) return SignatureCheck::Malformed;
  const ToolKey* key = FindKey(keys, signature.keyId);
  if (!key) return SignatureCheck::UnknownKey;
  if (key->retired) return SignatureCheck::RetiredKey;
  const std::string message = signature.header + content;
  if (!platform::VerifyEcdsaP256(reinterpret_cast<const unsigned char*>(key->point.data()),
                                 reinterpret_cast<const unsigned char*>(message.data()),
                                 message.size(),
                                 reinterpret_cast<const unsigned char*>(signature.signature.data())))
    return SignatureCheck::BadSignature;
  // Checked once the header is known to be the publisher's own words.
  if (signature.file != name) return SignatureCheck::WrongFile;
  if (minimumVersion.empty()) return SignatureCheck::Good;
  int order = 0;
  if (!CompareVersions(signature.version, minimumVersion, order)) return SignatureCheck::NoVersion;
  return order < 0 ? SignatureCheck::Downgrade : SignatureCheck::Good;
}

const char* DescribeSignatureCheck(SignatureCheck check) {
  switch (check) {
    case SignatureCheck::Good: return "签名有效";
    case SignatureCheck::Missing: return "服务器未提供签名文件";
    case SignatureCheck::Malformed: return "签名文件格式错误";
    case SignatureCheck::UnknownKey: return "签名密钥不受信任";
    case SignatureCheck::RetiredKey: return "签名密钥已被发布者停用";
    case SignatureCheck::WrongFile: return "签名属于其他文件";
    case SignatureCheck::BadSignature: return "签名与文件内容不符";
    case SignatureCheck::NoVersion: return "签名未注明版本";
    case SignatureCheck::Downgrade: return "签名版本低于当前程序（拒绝降级）";
    case SignatureCheck::NotKept: return "未保存发布者签名";
  }
  return "未知结果";
}
