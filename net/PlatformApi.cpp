#include "net/PlatformApi.h"

#include <cstdarg>
#include <cstdio>

#include "net/Codecs.h"
#include "net/Json.h"
#include "net/MbcsText.h"
#include "net/ServerAddress.h"
#include "net/WebClient.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? length : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

std::string BaseUrl(const std::string& host, int port, const char* path) {
  return Format("%s:%d%s", ServerOrigin(host).c_str(), port, path);
}

// The certificate refusal of this thread's last call, for its caller to tell.
thread_local CertificateRejection t_rejection;

void NoteRejection(const CWebClient& client) { t_rejection = CertificateRejectionOf(client); }

// Sends one request (a GET when body is null) and parses the reply: false on
// a transport failure, a status other than 200, or a reply without "{".
bool Exchange(const std::string& url, const std::string* body, CJsonDocument& reply) {
  CWebClient client;
  std::string text;
  bool sent = body ? client.Post(url, *body, text) : client.Get(url, text);
  NoteRejection(client);
  return sent && reply.Parse(Utf8ToAnsi(text));
}

const char* ProblemText(platform::TlsCertProblem problem) {
  switch (problem) {
    case platform::TlsCertProblem::Expired:
      return "证书已过期或尚未生效";
    case platform::TlsCertProblem::WrongHost:
      return "证书不属于该服务器";
    case platform::TlsCertProblem::Untrusted:
      return "证书不是由受信任的机构颁发的";
    default:
      return "证书无法验证";
  }
}

int ReadRet(const CJsonDocument& reply) { return AtoiLike(reply.GetString("ret")); }

// The first element of "list" when it is an object; null otherwise.
const CJsonObject* FirstListElement(const CJsonDocument& reply) {
  const CJsonValue* list = reply.GetRoot().Get("list");
  if (!list || list->GetType() != JSON_ARRAY) return nullptr;
  const CJsonValue* first = static_cast<const CJsonArray*>(list)->GetAt(0);
  if (!first || first->GetType() != JSON_OBJECT) return nullptr;
  return static_cast<const CJsonObject*>(first);
}

const CJsonScalar* Member(const CJsonObject& object, const char* name) {
  const CJsonValue* value = object.Get(name);
  if (!value || value->GetType() == JSON_ARRAY || value->GetType() == JSON_OBJECT) return nullptr;
  return static_cast<const CJsonScalar*>(value);
}

// Numbers are JSON integers cut to their low 32 bits; a missing member
// leaves the target as it was.
void CopyInt(const CJsonObject& object, const char* name, int& target) {
  if (const CJsonScalar* value = Member(object, name))
    target = static_cast<int32_t>(static_cast<uint32_t>(value->GetInt64()));
}

void CopyText(const CJsonObject& object, const char* name, std::string& target) {
  if (const CJsonScalar* value = Member(object, name)) target = value->GetText();
}

// A request whose reply counts only by its "ret".
bool RetOnly(const std::string& url, const std::string* body) {
  CJsonDocument reply;
  return Exchange(url, body, reply) && ReadRet(reply) == 0;
}

// A request whose reply must carry "ret" 0 and a first "list" element.
const CJsonObject* FirstRecord(const std::string& url, const std::string* body,
                               CJsonDocument& reply) {
  if (!Exchange(url, body, reply) || ReadRet(reply) != 0) return nullptr;
  return FirstListElement(reply);
}

// Leading blanks, an optional "+", digits; a negative, empty or absurd size
// reads as 0 (not reported).
int64_t ParseSize(const std::string& text) {
  size_t pos = text.find_first_not_of(" \t\r\n");
  if (pos == std::string::npos) return 0;
  if (text[pos] == '+') ++pos;
  int64_t size = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    if (size > (INT64_MAX - 9) / 10) return 0;
    size = size * 10 + (text[pos] - '0');
  }
  return size;
}

std::string LoginBody(const std::string& user, const std::string& password, int kind,
                      const std::string& fid) {
  std::string name = FormValue(AnsiToUtf8(user));
  std::string pwd = Md5Hex(password);
  if (kind != LOGIN_KIND_PHONE)
    return Format("no=%s&pwd=%s&client=velmora", name.c_str(), pwd.c_str());
  return Format("phone=%s&pwd=%s&schoolID&client=velmora&fid=%s", name.c_str(), pwd.c_str(),
                FormValue(fid).c_str());
}

// The account of a successful login; members the reply lacks keep the
// defaults of a fresh record, so no value of an earlier account lingers.
LoginInfo ReadAccount(const CJsonObject& first, int kind, int ss, int& schoolId,
                      std::string& schoolName) {
  LoginInfo info;
  schoolId = 0;
  schoolName.clear();
  info.ss = ss;
  if (kind != LOGIN_KIND_PHONE) {
    CopyInt(first, "userId", info.userId);
    CopyInt(first, "id", schoolId);
    CopyText(first, "name", schoolName);
    info.access = 1;
  } else {
    CopyInt(first, "id", info.userId);
    CopyInt(first, "role", info.role);
    CopyInt(first, "check", info.check);
    CopyText(first, "name", info.name);
    CopyText(first, "schoolName", schoolName);
    CopyInt(first, "schoolId", schoolId);
    CopyInt(first, "access", info.access);
    CopyInt(first, "fsize", info.fsize);
  }
  CopyText(first, "token", info.token);
  return info;
}

}  // namespace

std::string FormValue(const std::string& text) {
  std::string value;
  value.reserve(text.size());
  for (char c : text) {
    if (c == '%') value += "%25";
    else if (c == '&') value += "%26";
    else if (c == '+') value += "%2B";
    else value += c;
  }
  return value;
}

CertificateRejection CertificateRejectionOf(const CWebClient& client) {
  if (client.m_nError != WCE_CERTIFICATE) return {};
  return {client.m_strHost, client.m_certProblem, client.m_strCertReason};
}

bool CPlatformApi::TakeCertificateRejection(CertificateRejection& rejection) {
  if (t_rejection.problem == platform::TlsCertProblem::None) return false;
  rejection = t_rejection;
  t_rejection = {};
  return true;
}

std::string CertificateFailureMessage(const CertificateRejection& rejection) {
  return "服务器 " + rejection.host + " 的证书无效（" + ProblemText(rejection.problem) +
         "），已停止连接。";
}

const char* LoginFailureMessage(bool replied, int ret) {
  if (!replied) return "登录失败：网络错误或服务器无响应！";
  if (ret == LOGIN_RET_WRONG_PASSWORD) return "登录失败：用户名或密码错误！";
  if (ret == LOGIN_RET_DISABLED) return "登录失败：该账户已被禁用！";
  return "登录失败：服务器访问错误！";
}

bool CPlatformApi::Login(const std::string& host, int port, const std::string& user,
                         const std::string& password, LoginInfo& info, int& schoolId,
                         std::string& schoolName, bool& replied, int kind,
                         const std::string& fid, int& ret) {
  const char* path = kind != LOGIN_KIND_PHONE ? "/school/login.yks" : "/user/loginPhone.yks";
  std::string body = LoginBody(user, password, kind, fid);
  replied = true;
  CWebClient client;
  std::string text;
  bool sent = client.Post(BaseUrl(host, port, path), body, text);
  NoteRejection(client);
  if (!sent) {
    replied = false;
    return false;
  }
  CJsonDocument reply;
  if (!reply.Parse(Utf8ToAnsi(text))) return false;
  ret = ReadRet(reply);
  if (ret != 0) return false;
  info.ss = AtoiLike(reply.GetString("ss"));
  const CJsonObject* first = FirstListElement(reply);
  if (!first) return false;
  info = ReadAccount(*first, kind, info.ss, schoolId, schoolName);
  return true;
}

bool CPlatformApi::AddExperimentRecord(const std::string& host, int port, int start, int userId,
                                       int experId, int couId, int& recordId) {
  std::string url = BaseUrl(host, port, "/experimentRecord/add.yks");
  if (!start) {
    std::string body = Format("id=%d&type=2", recordId);
    return RetOnly(url, &body);
  }
  std::string body = Format("userId=%d&experId=%d&couId=%d&type=1", userId, experId, couId);
  CJsonDocument reply;
  const CJsonObject* first = FirstRecord(url, &body, reply);
  if (!first) return false;
  CopyInt(*first, "id", recordId);
  return true;
}

bool CPlatformApi::AddExperimentData(const std::string& host, int port, int recordId,
                                     const std::string& data) {
  std::string body = Format("id=%d&data=%s", recordId, FormValue(data).c_str());
  return RetOnly(BaseUrl(host, port, "/experiment/dataAdd.yks"), &body);
}

bool CPlatformApi::UpdateScore(const std::string& host, int port, int userId, int type,
                               int scouId, int couId, int srcId, int score) {
  std::string url = BaseUrl(host, port, "/statistics/updateScore.dy") + "?" +
                    Format("type=%d&srcId=%d&userId=%d&scouId=%d&couId=%d&score=%d", type,
                           srcId, userId, scouId, couId, score);
  return RetOnly(url, nullptr);
}

bool CPlatformApi::GetFileSize(const std::string& host, int port, const std::string& fileId,
                               int64_t& size) {
  std::string body = Format("fileId=%s", FormValue(fileId).c_str());
  CJsonDocument reply;
  if (!Exchange(BaseUrl(host, port, "/file/size.action"), &body, reply)) return false;
  size = ParseSize(reply.GetString("size"));
  return true;
}

bool CPlatformApi::GetCourseDetail(const std::string& host, int port, int id,
                                   CourseDetail& course) {
  CJsonDocument reply;
  std::string url = BaseUrl(host, port, "/course/detail.yks") + Format("?id=%d", id);
  const CJsonObject* first = FirstRecord(url, nullptr, reply);
  if (!first) return false;
  CopyText(*first, "name", course.name);
  CopyText(*first, "user", course.user);
  CopyText(*first, "center", course.center);
  CopyText(*first, "logoId", course.logoId);
  CopyInt(*first, "userId", course.userId);
  return true;
}

bool CPlatformApi::GetSourceDetail(const std::string& host, int port, int id,
                                   SourceDetail& source) {
  CJsonDocument reply;
  std::string url = BaseUrl(host, port, "/source/detail.yks") + Format("?id=%d", id);
  const CJsonObject* first = FirstRecord(url, nullptr, reply);
  if (!first) return false;
  CopyText(*first, "name", source.name);
  CopyText(*first, "fileName", source.fileName);
  CopyText(*first, "fileType", source.fileType);
  CopyText(*first, "hashcode", source.hashcode);
  return true;
}
