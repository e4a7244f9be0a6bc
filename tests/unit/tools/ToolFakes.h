#pragma once
#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "FakeDesktop.h"
#include "platform/Files.h"
#include "platform/MemoryRegistry.h"
#include "tools/DocToolsInstaller.h"
#include "tools/ToolContext.h"
#include "unit/store/StoreTestSupport.h"

// A tool server in memory: files by name; every fetch is recorded by name.
class FakeFetcher final : public IToolFetcher {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::string> fetched;
  std::string partialOf;  // this name arrives cut short and fails
  bool holdFetches = false;  // fetches wait until Release()

  bool Fetch(const std::string& url, const std::string& path) override {
    std::unique_lock<std::mutex> guard(m_lock);
    const std::string name = url.substr(url.rfind('/') + 1);
    fetched.push_back(name);
    m_arrived.notify_all();
    m_released.wait(guard, [this] { return !holdFetches; });
    if (name == partialOf) {
      WriteFileBytes(path, "cut");
      return false;
    }
    auto it = files.find(name);
    if (it == files.end()) return false;
    WriteFileBytes(path, it->second);
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
  std::mutex m_lock;
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
