#include "tools/UpdateCheck.h"

#include <cstdlib>

#include "net/Codecs.h"
#include "net/MbcsText.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "store/WritableDir.h"
#include "tools/KeyRetirement.h"

namespace {

const size_t kProfileValueCapacity = 260;  // values are cut to 259 bytes
const size_t kDigestBlock = 4096;

std::string ReadValue(const std::string& path, const char* section, const char* key,
                      const char* fallback) {
  return platform::ReadProfileText(path, section, key, fallback, kProfileValueCapacity);
}

// The two offers of an update: optional, and mandatory.
const char kUpdateQuestion[] = "发现新版Velmora助手，是否更新？";
const char kForcedUpdateQuestion[] = "发现新版Velmora助手，需要更新后方可使用，是否更新？";

// Installed for the whole machine, the program's directory is the
// administrator's: the upgrader could not replace the program there, and a
// half-done copy would lock every user out. vmtool.ini publishes a digest,
// not a version number, so the message names none.
void TellAdministratorMustUpdate(const ToolContext& context) {
  ShowToolMessage(context,
                  "新版Velmora助手须由管理员安装：本机的程序目录只有管理员可以更改，请联系管理员更新。",
                  platform::MessageIcon::Information);
}

}  // namespace

std::string FileDigest(const std::string& path) {
  platform::File file;
  // Shared: the digest of the running program is taken while it runs.
  if (!file.Open(path, platform::FileMode::SharedRead)) return std::string();
  CMd5 md5;
  char block[kDigestBlock];
  size_t got = 0;
  while (true) {
    if (!file.Read(block, sizeof block, got)) return std::string();
    if (got == 0) break;
    md5.Update(block, got);
  }
  unsigned char digest[16];
  md5.Final(digest);
  return HexString(digest, sizeof digest, "");
}

bool MatchesPublishedDigest(const std::string& fileDigest, const std::string& published) {
  return !fileDigest.empty() && MbcsEqualNoCase(fileDigest, published);
}

ToolInfo ReadToolInfo(const std::string& iniPath) {
  ToolInfo info;
  info.programDigest = ReadValue(iniPath, "VelmoraURL", "hashcode", "");
  info.forceUpdate = atoi(ReadValue(iniPath, "VelmoraURL", "forceupdate", "0").c_str());
  info.browserDigest = ReadValue(iniPath, "VmBrowser", "hashcode", "");
  return info;
}

std::string ProgramDirectory(const std::string& programPath) {
  size_t slash = programPath.rfind('\\');
  return slash == std::string::npos ? std::string() : programPath.substr(0, slash + 1);
}

bool FetchToolInfo(const ToolContext& context) {
  const std::string path = context.dataDir + "\\" + "vmtool.ini";
  *context.info = ToolInfo();
  if (!FetchToolFile(context, "vmtool.ini", path)) return false;
  *context.info = ReadToolInfo(path);
  context.info->fetched = true;
  return true;
}

bool CheckForUpdate(const ToolContext& context, bool& found) {
  found = false;
  if (!FetchToolInfo(context)) return true;
  // Before anything is fetched and checked for the update.
  RefreshRetiredKeys(context);
  const std::string programDir = ProgramDirectory(context.programPath);
  const std::string& published = context.info->programDigest;
  if (published.empty() || published == FileDigest(context.programPath)) return true;
  found = true;
  if (context.info->forceUpdate != 0) {
    if (!AskTool(context, kForcedUpdateQuestion)) return false;
  } else if (!AskTool(context, kUpdateQuestion)) {
    return true;
  }
  // The directory ends in the separator that ProgramDirectory found.
  if (!CanCreateFilesIn(programDir.substr(0, programDir.size() - 1))) {
    TellAdministratorMustUpdate(context);
    return context.info->forceUpdate == 0;
  }
  RunUpgrade(context, programDir);
  return true;
}

bool RunUpgrade(const ToolContext& context, const std::string& programDir) {
  const std::string upgrader = ToolPath(context, "VmUpgrade.exe");
  // An upgrader kept from an earlier run starts only while the signature
  // kept beside it holds (one left by an earlier version has none): else it
  // is fetched again, as a missing one is.
  if (!HasKeptSignature(context, "VmUpgrade.exe", upgrader) &&
      !FetchSignedToolFile(context, "VmUpgrade.exe", upgrader, SignedFile::Kept))
    return false;
  const std::string program = ToolPath(context, "VelmoraURL.exe");
  if (!FetchSignedToolFile(context, "VelmoraURL.exe", program, SignedFile::Program)) return false;
  // Fetched over plain HTTP: only the build that the description announced
  // may replace the program.
  if (!MatchesPublishedDigest(FileDigest(program), context.info->programDigest)) {
    LogToolEvent("新版程序校验失败，未更新");
    platform::DeleteFileAt(program);
    return false;
  }
  // The upgrader installs the copy in the temporary directory; without a
  // fresh one there it would install whatever an earlier run left.
  if (!platform::CopyFileReplacing(program, context.tempDir + "VelmoraURL.exe")) return false;
  context.desktop->ShellOpen(upgrader, "\"" + programDir + "\"");
  return true;
}
