#include "app/AppExperiments.h"

#include "app/AssistantApp.h"
#include "experiments/ExperimentLaunch.h"
#include "experiments/ResultSubmission.h"

ExperimentContext MakeExperimentContext(CAssistantApp& app) {
  ExperimentContext context;
  context.desktop = &app.Desktop();
  context.examErrors = app.m_pExamErrors.get();
  context.userId = app.m_login.userId;
  context.userName = app.m_login.name;
  context.resourceDir = app.m_pFileList->m_strResourceDir;
  context.appTitle = app.GetAppTitle();
  context.savedUserName = [&app](const std::string& host, int port) {
    CServerAccount* account = app.FindSavedAccount(host, port);
    return account ? account->m_strUser : std::string();
  };
  return context;
}

int CAssistantApp::OpenResourceFile(const std::string& path, CUrlCommand& command) {
  return ::OpenResourceFile(MakeExperimentContext(*this), path, command);
}

// What the previous user's failures still wait for goes to their own file
// before the store turns to the new user's.
void CAssistantApp::LoadExamErrors(const std::string& path) {
  if (path != m_pExamErrors->GetPath()) CommitKeptFailures(MakeExperimentContext(*this));
  m_pExamErrors->SetPath(path);
  m_pExamErrors->Load();
}

// The program file's name without its extension.
std::string CAssistantApp::GetAppTitle() const {
  std::string name = m_services.programPath;
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name.empty() ? "VelmoraURL" : name;
}
