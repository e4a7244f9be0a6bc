#pragma once
#include <string>

// URL kinds of the velmoraurl:// scheme.
enum {
  URL_KIND_NONE = 0,  // not a command of this program, or a form without its argument
  URL_KIND_RES = 1,   // resource command with key=value parameters
  URL_KIND_FILE = 2,  // open a local file
  URL_KIND_EXE = 3,   // start a local program
};

// Working-buffer size of the exe form's argument and of the command line:
// longer input is refused rather than cut into a different command.
constexpr size_t URL_WORK_BUFFER = 1024;

// The command record of one URL; members are named after the URL keys.
struct CUrlCommand {
  std::string m_strServer;
  int m_nPort = 9112;
  std::string m_strFid;
  std::string m_strFext;
  std::string m_strFname;
  std::string m_strLogoId;
  int m_nFtype = 0;
  std::string m_strSchoolId;
  std::string m_strPwd;
  std::string m_strHashCode;
  int m_nFsize = 0;
  std::string m_strUserName;
  int m_nUserId = 0;
  int m_nScore = 0;
  int m_nIsExam = 0;
  std::string m_strExtraData;
  int m_nCouId = 0;
  int m_nExperId = 0;
  int m_nScouId = 0;
  int m_nType = 0;
  std::string m_strPath;
  std::string m_strArgs;
};

bool IsUtf8Text(const std::string& text);
bool ParseParams(const std::string& params, CUrlCommand& command);
int ParseUrl(const std::string& url, CUrlCommand& command);
// Quotes removed, backslashes turned into slashes, one trailing slash dropped.
std::string NormaliseUrl(const std::string& url);
// The port that a platform host without one is reached on.
int DefaultPortOfHost(const std::string& host);
