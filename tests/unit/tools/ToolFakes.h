#pragma once
#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "FakeDesktop.h"
#include "TestSigner.h"
#include "platform/Files.h"
#include "platform/MemoryRegistry.h"
#include "tools/DocToolsInstaller.h"
#include "tools/ToolContext.h"
#include "unit/store/StoreTestSupport.h"

// How the fake tool server signs a file: as the publisher does (with the
// current or the next key), or bent.
enum class SigFault { Good, NextKey, Missing, Bad, OtherKey, Older, WrongName };

// A tool server in memory: files by name; every fetch is recorded by name.
// "<name>.sig" is the publisher's signature of the file `name` (or of what
// the download bar serves), made on request unless `files` holds one.
class FakeFetcher final : public IToolFetcher {
 public:
  std::map<std::string, std::string> files;
  std::map<std::string, SigFault> sigFaults;  // by file name; absent: Good
  const std::string* barContent = nullptr;    // what the download bar serves
  std::vector<std::string> fetched;
  std::string partialOf;  // this name arrives cut short and fails
  bool holdFetches = false;  // fetches wait until Release()
  bool certificateRefused = false;  // every fetch fails on the server's certificate

  bool Fetch(const std::string& url, const std::string& path) override {
    std::unique_lock<std::mutex> guard(m_lock);
    const std::string name = url.substr(url.rfind('/') + 1);
    fetched.push_back(name);
    m_arrived.notify_all();
    m_released.wait(guard, [this] { return !holdFetches; });
    m_refusalPending = certificateRefused;
    if (certificateRefused) return false;
    if (name == partialOf) {
      WriteFileBytes(path, "cut");
      return false;
    }
    auto it = files.find(name);
    if (it == files.end() && IsSignature(name)) return WriteSignature(name, path);
    if (it == files.end()) return false;
    WriteFileBytes(path, it->second);
    return true;
  }
  // The version that the program's signature names: newer than the test's
  // running build, or older for SigFault::Older.
  static constexpr const char* kSignedProgramVersion = "1.2.0.0";
  static constexpr const char* kOlderProgramVersion = "1.0.0.0";
  bool TakeCertificateRejection(CertificateRejection& rejection) override {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_refusalPending) return false;
    m_refusalPending = false;
    rejection = {"tools.test", platform::TlsCertProblem::Untrusted, "CERT_E_UNTRUSTEDROOT"};
    return true;
  }
  void WaitForFetches(size_t count) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_arrived.wait(guard, [&] { return fetched.size() >= count; });
  }
  void Release() {
    std::lock_guard<std::mutex> guard(m_lock);
    holdFetches = false;
    m_released.notify_all();
  }
  size_t FetchCount() {
    std::lock_guard<std::mutex> guard(m_lock);
    return fetched.size();
  }

 private:
  static bool IsSignature(const std::string& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".sig") == 0;
  }
  bool WriteSignature(const std::string& sigName, const std::string& path) {
    const std::string name = sigName.substr(0, sigName.size() - 4);
    auto file = files.find(name);
    std::string content = file != files.end() ? file->second : barContent ? *barContent : "";
    auto fault = sigFaults.find(name);
    SigFault kind = fault == sigFaults.end() ? SigFault::Good : fault->second;
    if (kind == SigFault::Missing) return false;
    std::string version = name == "VelmoraURL.exe" ? kSignedProgramVersion : "-";
    if (kind == SigFault::Older) version = kOlderProgramVersion;
    TestKey key = kind == SigFault::NextKey ? TestKey::Next
                  : kind == SigFault::OtherKey ? TestKey::Other : TestKey::Current;
    if (kind == SigFault::Bad) content += "!";  // signed bytes that are not the file's
    WriteFileBytes(path, SignatureFileFor(kind == SigFault::WrongName ? "other.exe" : name,
                                          version, content, key));
    return true;
  }

  std::mutex m_lock;
  bool m_refusalPending = false;
  std::condition_variable m_arrived, m_released;
};

// Libraries whose exports are functions of the test.
class FakeLibraries final : public platform::ILibraryLoader {
 public:
  std::map<std::string, void*> exports;  // of every library that loads
  std::vector<std::string> loaded;
  bool loads = true;

  std::unique_ptr<platform::ILoadedLibrary> Load(const std::string& path) override {
    loaded.push_back(path);
    if (!loads) return nullptr;
    struct Library final : platform::ILoadedLibrary {
      explicit Library(FakeLibraries& o) : owner(o) {}
      void* Export(const std::string& name) override {
        auto it = owner.exports.find(name);
        return it == owner.exports.end() ? nullptr : it->second;
      }
      FakeLibraries& owner;
    };
    return std::make_unique<Library>(*this);
  }
  void* ParentWindow() override { return this; }
};

// A tools context over a scratch directory: data\, data\Tools (T),
// windows\ (W) and temp\, with fakes for everything the commands reach.
class ToolTest : public testing::Test {
 protected:
  ToolTest() {
    for (const char* sub : {"data", "data\\Tools", "windows", "temp"})
      platform::CreateDir(dir / sub);
    context.desktop = &desktop;
    context.fetcher = &fetcher;
    context.libraries = &libraries;
    context.registry = &registry;
    context.info = &info;
    context.installer = &installer;
    context.host = "tools.test";
    context.programPath = dir / "prog\\VelmoraURL.exe";
    context.dataDir = dir / "data";
    context.toolsDir = dir / "data\\Tools";
    context.windowsDir = dir / "windows\\";
    context.tempDir = dir / "temp\\";
    context.systemDir = "C:\\windows\\system32\\";
    context.programVersion = "1.0.0.1";
    fetcher.barContent = &barBytes;
    // Like the real bar, it saves under the name given, else under the
    // name that the server's reply suggests.
    context.downloadBar = [this](const std::string& url, const std::string& target,
                                 const std::string& name, const std::string& label) {
      bars.push_back(url + "|" + target + "\\" + name + "|" + label);
      if (!barSucceeds) return false;
      WriteFileBytes(target + "\\" + (name.empty() ? kServerSuggestedName : name), barBytes);
      return true;
    };
    context.showStatus = [this](bool shown) { statusShown.push_back(shown); };
  }

  std::string T(const std::string& name) const { return context.toolsDir + "\\" + name; }
  std::string W(const std::string& name) const { return context.windowsDir + name; }

  ScratchDir dir;
  FakeDesktop desktop;
  FakeFetcher fetcher;
  FakeLibraries libraries;
  platform::CMemoryRegistry registry;
  ToolInfo info;
  CDocToolsInstaller installer;
  ToolContext context;
  std::vector<std::string> bars;
  bool barSucceeds = true;
  std::string barBytes = "tool";  // what the bar's download holds
  static constexpr const char* kServerSuggestedName = "setup-1.2.exe";
  std::vector<bool> statusShown;
};
