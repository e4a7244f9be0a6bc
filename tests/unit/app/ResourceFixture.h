#pragma once
// The resource command against the fake platform, with a scripted desktop,
// progress window, login dialog and download bar.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "FakeDesktop.h"
#include "app/AssistantApp.h"
#include "unit/app/FakePlatform.h"
#include "unit/app/ScopedAppData.h"
#include "unit/store/StoreTestSupport.h"
#include "unit/tools/TestSigner.h"
#include "tools/ToolContext.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace resource_test {

namespace fs = std::filesystem;

// The progress window as the download drives it; Cancel is pressed after a
// number of positions.
struct ScriptedProgress final : IDownloadProgress {
  std::vector<std::string>& events;
  int cancelAfterPositions;
  int positions = 0;
  ScriptedProgress(std::vector<std::string>& e, int cancelAfter)
      : events(e), cancelAfterPositions(cancelAfter) {}
  void StartTimer() override { events.push_back("start timer"); }
  void StopTimer() override { events.push_back("stop timer"); }
  void Show(bool visible) override { events.push_back(visible ? "show" : "hide"); }
  void SetTitle(const std::string& title) override { events.push_back("title " + title); }
  void SetRange(int low, int high) override {
    if (events.empty() || events.back().rfind("range", 0) != 0)
      events.push_back("range " + std::to_string(low) + "-" + std::to_string(high));
  }
  void SetPos(int) override { ++positions; }
  bool IsCancelled() const override {
    return cancelAfterPositions >= 0 && positions >= cancelAfterPositions;
  }
};

class ResourceApp : public CAssistantApp {
 public:
  using CAssistantApp::CAssistantApp;
  std::vector<std::string> loginDialogs, progressEvents, bars;
  bool loginDialogLogsIn = false;
  int cancelAfterPositions = -1;
  bool barSucceeds = true;

  bool ShowLoginDialog(const std::string& server, int port) override {
    loginDialogs.push_back(server + ":" + std::to_string(port));
    if (!loginDialogLogsIn) return false;
    m_login.access = 1;
    m_login.userId = 42;
    return true;
  }
  std::unique_ptr<IDownloadProgress> CreateDownloadProgress() override {
    return std::make_unique<ScriptedProgress>(progressEvents, cancelAfterPositions);
  }
  bool RunDownloadBar(const std::string& url, const std::string& dir, const std::string& name,
                      const std::string& label) override {
    bars.push_back(url + "|" + dir + "\\" + name + "|" + label);
    if (barSucceeds) WriteFileBytes(dir + "\\" + name, "installer of " + name);
    return barSucceeds;
  }
};

inline std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = (char)('a' + (i * 7 + i / 251) % 26);
  return data;
}

inline std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The tool server of these tests serves only the publisher's signatures, of
// what the download bar placed beside them; every request is recorded.
class SigningToolFetcher final : public IToolFetcher {
 public:
  std::vector<std::string> requested;
  bool Fetch(const std::string& url, const std::string& path) override {
    requested.push_back(url);
    const std::string name = url.substr(url.rfind('/') + 1);
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".sig") != 0) return false;
    const std::string content = ReadFileBytes(path.substr(0, path.size() - 4));
    WriteFileBytes(path, SignatureFileFor(name.substr(0, name.size() - 4), "-", content));
    return true;
  }
  bool TakeCertificateRejection(CertificateRejection&) override { return false; }
};

class ResourceTest : public testing::Test {
 protected:
  ResourceTest() : appData("resource") {
    static int counter = 0;
    std::string tag = std::to_string(getpid()) + "-" + std::to_string(++counter);
    services.instanceMutexName = "velmora resource test instance " + tag;
    services.slotMutexName = "velmora resource test slots " + tag;
    services.sharedBlockName = "velmora resource test block " + tag;
    services.toolFetcher = &toolFetcher;
    app = std::make_unique<ResourceApp>(desktop, services);
    app->m_pSettings->UpdateAccount(CFakePlatform::HOST, platform.ApiPort(), "13800000001",
                                    "123456", 1, 1, 0, 0, 0, "");
  }
  void SetUp() override { ASSERT_TRUE(platform.Ready()) << "port 8112 of 127.0.0.2 stayed taken"; }

  std::string Server() const {
    return std::string(CFakePlatform::HOST) + ":" + std::to_string(platform.ApiPort());
  }
  std::string Link(const std::string& fid, const std::string& extra = "") const {
    return "velmoraurl://res:fid=" + fid + "&fext=pdf&hashcode=h1&server=" + Server() + extra;
  }
  // Every path of the command gives its download slot back.
  int Run(const std::string& url) {
    int result = app->DispatchUrl(url);
    EXPECT_EQ(app->Shared().nDownloading, 0) << url;
    return result;
  }
  std::string FileDir() const { return "VelmoraWeb\\00000042\\FILE\\"; }
  std::string Cached(const std::string& fid) const {
    return app->m_pFileList->m_strResourceDir + "\\" + fid + ".pdf";
  }
  fs::path Native(const std::string& relative) const { return appData.Native(relative); }
  size_t Count(const std::string& path) { return platform.RequestsFor(path).size(); }
  std::string Log() { return ReadAll(Native("VelmoraURL.log")); }

  ScopedAppData appData;
  SigningToolFetcher toolFetcher;
  CFakePlatform platform;
  FakeDesktop desktop;
  AppServices services;
  std::unique_ptr<ResourceApp> app;
};

}  // namespace resource_test
