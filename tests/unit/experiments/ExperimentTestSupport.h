#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeDesktop.h"
#include "FakePlatform.h"
#include "app/AssistantApp.h"
#include "unit/app/ScopedAppData.h"
#include "unit/store/StoreTestSupport.h"

// An application logged in as user 1001 ("李明") of the fake platform, with
// its own APPDATA (log, data directory, resource directory).
struct ExperimentFixture : testing::Test {
  ScopedAppData appData{"experiments"};
  FakeDesktop desktop;
  FakePlatform platform;
  std::unique_ptr<CAssistantApp> app;

  void SetUp() override {
    AppServices services;
    services.programPath = "C:\\Program Files\\Velmora\\VelmoraURL.exe";
    app = std::make_unique<CAssistantApp>(desktop, services);
    app->m_login.userId = 1001;
    app->m_login.name = "李明";
    app->m_bLoggedIn = true;
    ASSERT_TRUE(app->PrepareUserDirs());
  }

  std::string ResourceDir() const { return app->m_pFileList->m_strResourceDir; }
  std::string ExePath() const { return ResourceDir() + "\\100003.exe"; }
  std::string ExamPath() const { return ResourceDir() + "\\100003.exam"; }

  // An experiment resource of course 201, experiment 303.
  CUrlCommand Experiment() const {
    CUrlCommand command;
    command.m_strServer = "127.0.0.1";
    command.m_nPort = platform.Port();
    command.m_strFid = "100003";
    command.m_strFext = "exe";
    command.m_nFtype = 1;
    command.m_nCouId = 201;
    command.m_nExperId = 303;
    return command;
  }

  // The experiment writes `output` into its exam file while it runs (and
  // keeps what the assistant wrote in `examBefore`).
  void ExperimentWrites(const std::string& output) {
    desktop.hiddenRun = [this, output](const std::string&) {
      examBefore = ReadFileBytes(ExamPath());
      WriteFileBytes(ExamPath(), output);
    };
  }

  // The log's entries without their time: "[<time>]:" is cut off.
  std::vector<std::string> LogEntries() const {
    std::string text = ReadFileBytes(appData.Path() + "\\VelmoraURL.log");
    std::vector<std::string> entries;
    if (text == "<missing>") return entries;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      size_t mark = line.find("]:");
      entries.push_back(mark == std::string::npos ? line : line.substr(mark + 2));
      start = end + 2;
    }
    return entries;
  }

  std::string examBefore;
};
