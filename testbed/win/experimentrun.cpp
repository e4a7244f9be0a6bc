// Runs one experiment resource through the application's OpenResourceFile,
// as the resource command does once the file is on disk, for user 1001
// ("李明") logged in to the given platform. Arguments are key=value:
//   host port dir (the resource directory) file (its name there) fid ftype
//   couid experid scouid userid pwd extradata
// Prints "result=<n> failed=<records in the failure list>" and exits.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "app/AssistantApp.h"
#include "platform/SocketCleanup.h"
#include "platform/Sockets.h"

int main(int argc, char** argv) {
  std::map<std::string, std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    size_t equals = arg.find('=');
    if (equals != std::string::npos) args[arg.substr(0, equals)] = arg.substr(equals + 1);
  }
  auto number = [&](const char* key) { return atoi(args[key].c_str()); };
  const std::string dir = args["dir"];
  platform::StartupSocketLibrary();

  AppServices services;
  // Messages are captioned with the assistant's own title, as in the program.
  services.programPath = dir + "\\VelmoraURL.exe";
  CAssistantApp app(platform::SystemDesktop(), services);
  app.m_login.userId = 1001;
  app.m_login.name = "李明";
  app.m_bLoggedIn = true;
  app.m_pFileList->m_strResourceDir = dir;
  if (!app.PrepareUserDirs()) return 3;

  CUrlCommand command;
  command.m_strServer = args["host"];
  command.m_nPort = number("port");
  command.m_strFid = args["fid"];
  command.m_nFtype = number("ftype");
  command.m_nCouId = number("couid");
  command.m_nExperId = number("experid");
  command.m_nScouId = number("scouid");
  command.m_nUserId = number("userid");
  command.m_nType = 1;
  command.m_strPwd = args["pwd"];
  command.m_strExtraData = args["extradata"];
  int result = app.OpenResourceFile(dir + "\\" + args["file"], command);
  printf("result=%d failed=%d\n", result, (int)app.m_pExamErrors->Records().size());
  platform::CleanupSocketLibrary();
  return 0;
}
