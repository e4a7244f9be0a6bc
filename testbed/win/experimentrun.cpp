// Runs one experiment resource through the application's OpenResourceFile,
// as the resource command does once the file is on disk, for user 1001
// ("李明") logged in to the given platform:
//   experimentrun <host> <port> <resource dir> <file> <fid> <ftype> <couid> <experid> <scouid>
//                 [pwd]
// Prints "result=<n> failed=<records in the failure list>" and exits.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/AssistantApp.h"

int main(int argc, char** argv) {
  if (argc < 10) {
    fprintf(stderr, "usage: experimentrun host port dir file fid ftype couid experid scouid [pwd]\n");
    return 2;
  }
  AppServices services;
  // Messages are captioned with the assistant's own title, as in the program.
  services.programPath = std::string(argv[3]) + "\\VelmoraURL.exe";
  CAssistantApp app(platform::SystemDesktop(), services);
  app.m_login.userId = 1001;
  app.m_login.name = "李明";
  app.m_bLoggedIn = true;
  app.m_pFileList->m_strResourceDir = argv[3];
  if (!app.PrepareUserDirs()) return 3;
  app.m_pFileList->m_strResourceDir = argv[3];

  CUrlCommand command;
  command.m_strServer = argv[1];
  command.m_nPort = atoi(argv[2]);
  command.m_strFid = argv[5];
  command.m_nFtype = atoi(argv[6]);
  command.m_nCouId = atoi(argv[7]);
  command.m_nExperId = atoi(argv[8]);
  command.m_nScouId = atoi(argv[9]);
  command.m_nUserId = command.m_nScouId > 0 ? 1001 : 0;
  command.m_nType = 1;
  if (argc > 10) command.m_strPwd = argv[10];
  int result = app.OpenResourceFile(std::string(argv[3]) + "\\" + argv[4], command);
  printf("result=%d failed=%d\n", result, (int)app.m_pExamErrors->Records().size());
  return 0;
}
