#include "app/UrlCommand.h"

#include <cstring>
#include <vector>

#include "BuildConfig.h"
#include "net/Codecs.h"
#include "net/MbcsText.h"
#include "net/ServerAddress.h"

namespace {

const char kScheme[] = "velmoraurl://";
const size_t kSchemeLength = sizeof kScheme - 1;

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string RemoveChar(std::string text, char c) {
  std::erase(text, c);
  return text;
}

// A decoded NUL would end the name where the system reads it, after the
// checks and the question had seen a longer one ("a.exe%00.pdf").
bool HasNul(const std::string& text) {
  return text.find('\0') != std::string::npos;
}

// Parts between separators; a run of separators counts as one, empty parts skipped.
std::vector<std::string> SplitSkippingEmpty(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Percent-decoded, and from UTF-8 to the code page when it is UTF-8.
std::string DecodeUrlText(const std::string& text) {
  std::string decoded = PercentDecode(text);
  return IsUtf8Text(decoded) ? Utf8ToAnsi(decoded) : decoded;
}

// A server over HTTPS ("https://host[:port]") keeps its scheme with the host,
// as a server entry does; its port is looked for after the scheme, and the
// built-in host's port 80 is 443 over it.
void SetServer(const std::string& value, CUrlCommand& command) {
  const bool secure = IsSecureServer(value);
  const size_t nameStart = secure ? std::strlen(SECURE_SERVER_SCHEME) : 0;
  size_t colon = value.rfind(':');
  if (colon != std::string::npos && colon > nameStart) {
    command.m_strServer = NormalizedServerHost(value.substr(0, colon));
    command.m_nPort = AtoiLike(value.substr(colon + 1));
  } else {
    command.m_strServer = NormalizedServerHost(value);
    command.m_nPort = DefaultPortOfHost(ServerHostName(value));
    if (secure && command.m_nPort == 80) command.m_nPort = 443;
  }
}

// Applies one key; returns the fallback extension when the key is fname.
void ApplyParam(const std::string& key, const std::string& value, CUrlCommand& c,
                std::string& fallbackExt) {
  struct TextKey { const char* name; std::string CUrlCommand::*member; };
  struct NumberKey { const char* name; int CUrlCommand::*member; };
  static const TextKey texts[] = {
      {"fid", &CUrlCommand::m_strFid},           {"logoid", &CUrlCommand::m_strLogoId},
      {"schoolid", &CUrlCommand::m_strSchoolId}, {"pwd", &CUrlCommand::m_strPwd},
      {"hashcode", &CUrlCommand::m_strHashCode}, {"username", &CUrlCommand::m_strUserName},
      {"extradata", &CUrlCommand::m_strExtraData}};
  static const NumberKey numbers[] = {
      {"ftype", &CUrlCommand::m_nFtype}, {"score", &CUrlCommand::m_nScore},
      {"couid", &CUrlCommand::m_nCouId}, {"experid", &CUrlCommand::m_nExperId},
      {"isexam", &CUrlCommand::m_nIsExam}, {"userid", &CUrlCommand::m_nUserId},
      {"scouid", &CUrlCommand::m_nScouId}, {"type", &CUrlCommand::m_nType}};

  const std::string lower = MbcsToLower(key);
  if (lower == "server") return SetServer(value, c);
  if (lower == "fext") {
    if (c.m_strFext.empty()) c.m_strFext = value;
    return;
  }
  if (lower == "fname") {
    std::string name = DecodeUrlText(value);
    if (HasNul(name)) return;
    size_t dot = name.rfind('.');
    c.m_strFname = name.substr(0, dot);
    fallbackExt = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    return;
  }
  for (const auto& t : texts)
    if (lower == t.name) c.*t.member = value;
  for (const auto& n : numbers)
    if (lower == n.name) c.*n.member = AtoiLike(value);
}

int ParseFileForm(const std::string& remainder, CUrlCommand& command) {
  size_t colon = remainder.find(':', 4);
  if (colon == std::string::npos) return URL_KIND_NONE;
  std::string path = DecodeUrlText(TrimSpaces(RemoveChar(remainder.substr(colon + 1), '\'')));
  if (path.empty() || HasNul(path)) return URL_KIND_NONE;
  command.m_strPath = path;
  return URL_KIND_FILE;
}

int ParseExeForm(const std::string& remainder, CUrlCommand& command) {
  size_t colon = remainder.find(':', 3);
  if (colon == std::string::npos) return URL_KIND_NONE;
  std::string argument = DecodeUrlText(remainder.substr(colon + 1));
  if (argument.size() >= URL_WORK_BUFFER || HasNul(argument)) return URL_KIND_NONE;
  std::vector<std::string> parts;
  for (const std::string& part : SplitSkippingEmpty(argument, '\'')) {
    std::string trimmed = TrimSpaces(part);
    if (!trimmed.empty()) parts.push_back(trimmed);
  }
  if (parts.empty()) return URL_KIND_NONE;
  command.m_strPath = parts[0];
  if (parts.size() == 2) command.m_strArgs = parts[1];
  return URL_KIND_EXE;
}

}  // namespace

int DefaultPortOfHost(const std::string& host) {
  if (MbcsEqualNoCase(host, VELMORA_DEFAULT_HOST)) return 80;
  if (MbcsEqualNoCase(host, VELMORA_SECOND_HOST)) return 8050;
  return 9112;
}

bool IsUtf8Text(const std::string& text) {
  int expected = 0;
  for (unsigned char c : text) {
    if (expected > 0) {
      if ((c & 0xC0) != 0x80) return false;
      --expected;
    } else if (c < 0x80) {
      continue;
    } else if (c < 0xC0) {
      return false;
    } else if (c < 0xE0) {
      expected = 1;
    } else if (c < 0xF0) {
      expected = 2;
    } else if (c < 0xF8) {
      expected = 3;
    } else if (c == 0xFC || c == 0xFD) {
      expected = 5;
    } else {
      expected = 4;
    }
  }
  return expected == 0;
}

bool ParseParams(const std::string& params, CUrlCommand& command) {
  std::string fallbackExt;
  for (const std::string& part : SplitSkippingEmpty(params, '&')) {
    size_t eq = part.find('=');
    if (eq == std::string::npos) continue;
    ApplyParam(TrimSpaces(part.substr(0, eq)), TrimSpaces(part.substr(eq + 1)), command,
               fallbackExt);
  }
  if (command.m_strSchoolId.empty()) command.m_strSchoolId = "1";
  if (command.m_strFext.empty()) command.m_strFext = fallbackExt;
  return true;
}

int ParseUrl(const std::string& url, CUrlCommand& command) {
  if (!StartsWith(MbcsToLower(url), kScheme)) return URL_KIND_NONE;
  const std::string remainder = TrimSpaces(url.substr(kSchemeLength));
  const std::string lower = MbcsToLower(remainder);
  if (StartsWith(lower, "res")) {
    size_t start = remainder.find(':') == 3 ? 4 : 3;
    ParseParams(TrimSpaces(RemoveChar(remainder.substr(start), '\'')), command);
    return URL_KIND_RES;
  }
  if (StartsWith(lower, "file")) return ParseFileForm(remainder, command);
  if (StartsWith(lower, "exe")) return ParseExeForm(remainder, command);
  return URL_KIND_NONE;
}

std::string NormaliseUrl(const std::string& url) {
  std::string text = MbcsReplaceChar(RemoveChar(url, '"'), '\\', '/');
  if (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}
