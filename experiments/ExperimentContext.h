#pragma once
#include <functional>
#include <string>

#include "platform/Desktop.h"

class CExamErrStore;

// Everything an experiment's run and the submission of its result work
// with. The program fills it from the application object; tests put in
// fakes and stores of their own.
struct ExperimentContext {
  platform::IDesktop* desktop = nullptr;
  CExamErrStore* examErrors = nullptr;  // the logged-in user's failed submissions
  int userId = 0;                       // the logged-in user
  std::string userName;                 // the name the login returned
  std::string resourceDir;              // the resources' files, no trailing "\"
  std::string appTitle;                 // caption of the result's messages
  // The user name remembered for a platform's host and port (an empty host:
  // the platform used last); empty when none is remembered.
  std::function<std::string(const std::string& host, int port)> savedUserName;
};
