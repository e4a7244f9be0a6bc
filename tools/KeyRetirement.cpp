#include "tools/KeyRetirement.h"

#include <set>

#include "platform/Files.h"
#include "tools/RetiredKeys.h"

namespace {

std::set<std::string> StoredRetirements(const ToolContext& context) {
  std::string text;
  if (!ReadWholeFile(RetiredKeysPath(context), text)) return {};
  return ParseStoredRetirements(text);
}

// Written aside, then moved over the old file: a crash leaves either list.
bool StoreRetirements(const ToolContext& context, const std::set<std::string>& ids) {
  const std::string path = RetiredKeysPath(context);
  const std::string aside = path + ".new";
  const std::string text = FormatStoredRetirements(ids);
  {
    platform::File file;
    if (!file.Open(aside, platform::FileMode::CreateAlways) ||
        !file.Write(text.data(), text.size()) || !file.Flush()) {
      platform::DeleteFileAt(aside);
      return false;
    }
  }
  if (platform::MoveFileReplacing(aside, path)) return true;
  platform::DeleteFileAt(aside);
  return false;
}

// The list and its signature, fetched beside vmtool.ini and read; the
// fetched files are not kept (the stored retirements are what counts).
// False when the list did not arrive; `hasSignature` tells whether its signature did.
bool FetchRetiredKeyList(const ToolContext& context, std::string& list, std::string& signature,
                         bool& hasSignature) {
  const std::string path = context.dataDir + "\\" + kRetiredKeysFile;
  const bool listArrived =
      FetchToolFile(context, kRetiredKeysFile, path) && ReadWholeFile(path, list);
  const std::string url = ToolFileUrl(context.host, kRetiredKeysFile);
  hasSignature = listArrived && FetchSignatureText(context, url, path, signature);
  platform::DeleteFileAt(path);
  platform::DeleteFileAt(path + ".sig");
  return listArrived;
}

void LogVerdict(const RetiredKeyVerdict& verdict) {
  const std::string name = kRetiredKeysFile;
  if (verdict.signature != SignatureCheck::Good) {
    LogToolEvent(name + " 未通过发布者签名验证（" + DescribeSignatureCheck(verdict.signature) +
                 "），未采用");
    return;
  }
  if (!verdict.readable) {
    LogToolEvent(name + " 格式错误，未采用");
    return;
  }
  for (const std::string& id : verdict.refused)
    LogToolEvent(name + " 由密钥 " + verdict.signer + " 签署，无权停用密钥 " + id + "，已忽略");
  for (const std::string& id : verdict.retired)
    LogToolEvent("发布者停用了密钥 " + id + "（" + name + "，由密钥 " + verdict.signer + " 签署）");
}

}  // namespace

std::string RetiredKeysPath(const ToolContext& context) {
  return context.dataDir + "\\RetiredToolKeys.txt";
}

std::vector<ToolKey> ToolKeysOf(const ToolContext& context) {
  return WithRetirements(TrustedToolKeys(), StoredRetirements(context));
}

void RefreshRetiredKeys(const ToolContext& context) {
  std::string list, signature;
  bool hasSignature = false;
  if (!FetchRetiredKeyList(context, list, signature, hasSignature)) {
    LogToolEvent(std::string("未能取得停用密钥列表 ") + kRetiredKeysFile);
    return;
  }
  std::set<std::string> stored = StoredRetirements(context);
  RetiredKeyVerdict verdict;
  if (hasSignature)
    verdict = JudgeRetiredKeyList(list, signature, WithRetirements(TrustedToolKeys(), stored));
  LogVerdict(verdict);
  if (verdict.retired.empty()) return;
  stored.insert(verdict.retired.begin(), verdict.retired.end());
  if (!StoreRetirements(context, stored))
    LogToolEvent("无法保存停用的密钥：" + RetiredKeysPath(context));
}
