#include "tools/ToolContext.h"

#include <cstdio>

#include "app/AppLog.h"
#include "app/CertificateNotice.h"
#include "net/ServerAddress.h"
#include "net/WebClient.h"
#include "platform/Files.h"
#include "tools/KeyRetirement.h"
#include "tools/ToolSignature.h"

namespace {

const char kToolCaption[] = "提示";
const int kToolPort = 7112;
const char kToolDirectory[] = "VelmoraTool";

// The certificate refusal of this thread's last fetch.
thread_local CertificateRejection t_rejection;

class WebFetcher final : public IToolFetcher {
 public:
  bool Fetch(const std::string& url, const std::string& path) override {
    CWebClient client;
    const bool fetched = client.Download(url, path);
    t_rejection = CertificateRejectionOf(client);
    return fetched;
  }
  bool TakeCertificateRejection(CertificateRejection& rejection) override {
    if (t_rejection.problem == platform::TlsCertProblem::None) return false;
    rejection = t_rejection;
    t_rejection = {};
    return true;
  }
};

}  // namespace

IToolFetcher& WebToolFetcher() {
  static WebFetcher fetcher;
  return fetcher;
}

std::string ToolFileUrl(const std::string& host, const std::string& name) {
  char port[16];
  snprintf(port, sizeof port, "%d", kToolPort);
  return ServerOrigin(host) + ":" + port + "/" + kToolDirectory + "/" + name;
}

bool FetchToolFile(const ToolContext& context, const std::string& name, const std::string& path) {
  // Downloads resume after what the file holds: a stale copy must go first.
  platform::DeleteFileAt(path);
  if (context.fetcher->Fetch(ToolFileUrl(context.host, name), path)) return true;
  platform::DeleteFileAt(path);
  // A refused certificate may be someone answering for the tool server: the
  // user learns that, not only that the tool did not arrive.
  CertificateRejection rejection;
  if (context.fetcher->TakeCertificateRejection(rejection))
    TellCertificateRejected(*context.desktop, rejection);
  return false;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  platform::File file;
  if (!file.Open(path, platform::FileMode::SharedRead)) return false;
  bytes.clear();
  char block[65536];
  size_t got = 0;
  while (true) {
    if (!file.Read(block, sizeof block, got)) return false;
    if (got == 0) return true;
    bytes.append(block, got);
  }
}

bool FetchSignatureText(const ToolContext& context, const std::string& url,
                        const std::string& path, std::string& text) {
  const std::string signaturePath = path + ".sig";
  platform::DeleteFileAt(signaturePath);
  if (context.fetcher->Fetch(url + ".sig", signaturePath) && ReadWholeFile(signaturePath, text))
    return true;
  platform::DeleteFileAt(signaturePath);
  return false;
}

namespace {

SignatureCheck CheckFetchedFile(const ToolContext& context, const std::string& url,
                                const std::string& name, const std::string& path,
                                SignedFile kind) {
  std::string signatureText, content;
  if (!FetchSignatureText(context, url, path, signatureText)) return SignatureCheck::Missing;
  SignatureCheck check =
      ReadWholeFile(path, content)
          ? CheckToolSignature(signatureText, name, content,
                               kind == SignedFile::Program ? context.programVersion : std::string(),
                               ToolKeysOf(context))
          : SignatureCheck::BadSignature;
  if (kind != SignedFile::Kept || check != SignatureCheck::Good)
    platform::DeleteFileAt(path + ".sig");
  return check;
}

SignatureCheck CheckKeptFile(const ToolContext& context, const std::string& name,
                             const std::string& path) {
  std::string signatureText, content;
  if (!ReadWholeFile(path + ".sig", signatureText)) return SignatureCheck::NotKept;
  if (!ReadWholeFile(path, content)) return SignatureCheck::BadSignature;
  return CheckToolSignature(signatureText, name, content, std::string(), ToolKeysOf(context));
}

// During a move to signed files IT may let unsigned ones through; a
// signature that is there but wrong is never let through.
bool LetThroughUnsigned(const ToolContext& context, const std::string& name,
                        SignatureCheck check) {
  if (context.requireSignedTools ||
      (check != SignatureCheck::Missing && check != SignatureCheck::NotKept))
    return false;
  LogToolEvent(name + " 无发布者签名，按管理员策略（RequireSignedTools=0）仍使用");
  return true;
}

void RefuseToolFile(const ToolContext& context, const std::string& name, const std::string& path,
                    SignatureCheck check) {
  platform::DeleteFileAt(path);
  LogToolEvent(name + " 未通过发布者签名验证（" + DescribeSignatureCheck(check) + "），已删除");
  ShowToolMessage(context, name + "未通过发布者签名验证，已停止安装。", platform::MessageIcon::Stop);
}

}  // namespace

bool VerifyToolFile(const ToolContext& context, const std::string& url, const std::string& name,
                    const std::string& path, SignedFile kind) {
  if (context.retiredKeysWithEachFile) RefreshRetiredKeys(context);
  SignatureCheck check = CheckFetchedFile(context, url, name, path, kind);
  if (check == SignatureCheck::Good || LetThroughUnsigned(context, name, check)) return true;
  RefuseToolFile(context, name, path, check);
  return false;
}

bool FetchSignedToolFile(const ToolContext& context, const std::string& name,
                         const std::string& path, SignedFile kind) {
  return FetchToolFile(context, name, path) &&
         VerifyToolFile(context, ToolFileUrl(context.host, name), name, path, kind);
}

bool HasKeptSignature(const ToolContext& context, const std::string& name,
                      const std::string& path) {
  return CheckKeptFile(context, name, path) == SignatureCheck::Good;
}

bool UseKeptToolFile(const ToolContext& context, const std::string& name,
                     const std::string& path) {
  SignatureCheck check = CheckKeptFile(context, name, path);
  if (check == SignatureCheck::Good || LetThroughUnsigned(context, name, check)) return true;
  platform::DeleteFileAt(path + ".sig");
  RefuseToolFile(context, name, path, check);
  return false;
}

std::string ToolPath(const ToolContext& context, const std::string& name) {
  return context.toolsDir + "\\" + name;
}

void ShowToolMessage(const ToolContext& context, const std::string& text,
                     platform::MessageIcon icon) {
  context.desktop->ShowMessage(text, kToolCaption, icon, true);
}

bool AskTool(const ToolContext& context, const std::string& question) {
  return context.desktop->AskYesNo(question, kToolCaption);
}

void LogToolEvent(const std::string& text) {
  WriteLog(GetLogPath(), "[%s]:%s\r\n", FormatNow().c_str(), text.c_str());
}
