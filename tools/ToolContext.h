#pragma once
#include <functional>
#include <string>

#include "net/PlatformApi.h"
#include "platform/Desktop.h"
#include "platform/Library.h"
#include "platform/Registry.h"
#include "tools/ToolInfo.h"

// Fetches one file of the tool server into a path (the whole file, from the
// start); false when it did not arrive whole.
class IToolFetcher {
 public:
  virtual ~IToolFetcher() = default;
  virtual bool Fetch(const std::string& url, const std::string& path) = 0;
  // After a failed fetch on this thread: whether it failed because the
  // server's certificate was refused (https), and why; taken once.
  virtual bool TakeCertificateRejection(CertificateRejection& rejection) = 0;
};

// The system's HTTP client.
IToolFetcher& WebToolFetcher();

class CDocToolsInstaller;

// Everything the tool commands work with. The program fills it from the
// application object; tests put in fakes and directories of their own.
struct ToolContext {
  platform::IDesktop* desktop = nullptr;
  IToolFetcher* fetcher = nullptr;
  platform::ILibraryLoader* libraries = nullptr;
  platform::IRegistry* registry = nullptr;
  ToolInfo* info = nullptr;
  CDocToolsInstaller* installer = nullptr;
  std::string host;         // the tool server (port 7112)
  std::string programPath;  // the running executable
  std::string dataDir;      // no trailing "\"
  std::string toolsDir;     // T, no trailing "\"
  std::string windowsDir;   // W, ends in "\"
  std::string systemDir;    // System32, ends in "\" (empty where there is none)
  std::string tempDir;      // ends in "\"
  std::string programVersion;     // the running build's version ("1.0.0.1")
  bool requireSignedTools = true; // false: a file without a signature is let through
  // The update check, which fetches the publisher's list of retired keys, is
  // off: the list is fetched before each fetched file's signature is trusted.
  bool retiredKeysWithEachFile = false;
  // The download bar: URL, target directory, file name, label; true when the
  // file arrived.
  std::function<bool(const std::string&, const std::string&, const std::string&,
                     const std::string&)>
      downloadBar;
  // Shows (true) or hides the status window of a plug-in installation.
  std::function<void(bool)> showStatus;
};

// "http://host:7112/VelmoraTool/name".
std::string ToolFileUrl(const std::string& host, const std::string& name);
// Deletes `path`, then fetches the tool server's file `name` into it. A file
// that did not arrive whole is removed, so that it never counts as installed.
bool FetchToolFile(const ToolContext& context, const std::string& name, const std::string& path);
// Fetches the signature that the tool server publishes beside the file at
// `url` ("<url>.sig") into "<path>.sig" and reads it; false, with nothing left
// behind, when it did not arrive.
bool FetchSignatureText(const ToolContext& context, const std::string& url,
                        const std::string& path, std::string& text);
// What a signed file is to the checks: a tool; the program itself, which
// must be signed as no older than the running build; or a tool kept for
// later runs, whose signature stays beside it ("<path>.sig").
enum class SignedFile { Tool, Program, Kept };

// Fetches the publisher's signature of the file that `url` gave into `path`
// ("<url>.sig") and checks it. A file that fails is deleted, logged with its
// reason and named to the user; true when it may be used.
bool VerifyToolFile(const ToolContext& context, const std::string& url, const std::string& name,
                    const std::string& path, SignedFile kind = SignedFile::Tool);
// FetchToolFile, then VerifyToolFile: for every file that is run or loaded.
bool FetchSignedToolFile(const ToolContext& context, const std::string& name,
                         const std::string& path, SignedFile kind = SignedFile::Tool);
// Whether a kept tool still matches the signature kept beside it.
bool HasKeptSignature(const ToolContext& context, const std::string& name,
                      const std::string& path);
// Before a kept tool is run or loaded at a later start: true while its kept
// signature holds (or, under RequireSignedTools=0, it was kept without one).
// Else the file and its signature are deleted, so that the next use fetches
// it again, and the log and the user are told as for a fetched file.
bool UseKeptToolFile(const ToolContext& context, const std::string& name,
                     const std::string& path);
// The whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);
// T\name.
std::string ToolPath(const ToolContext& context, const std::string& name);

// The notices and questions of the tool commands (caption "提示").
void ShowToolMessage(const ToolContext& context, const std::string& text,
                     platform::MessageIcon icon);
bool AskTool(const ToolContext& context, const std::string& question);
// One line in the program's log.
void LogToolEvent(const std::string& text);
