#pragma once
#include <cstdint>
#include <string>

#include "platform/TlsChannel.h"

// What a login returns; the application keeps it as the current account.
struct LoginInfo {
  int ss = 0;
  int role = 0;    // phone login only
  int check = 0;   // phone login only
  int access = 0;  // right to see resources; 1 for the account-number login
  int userId = 0;
  int fsize = 0;   // phone login only
  std::string name;  // phone login only
  std::string token;
};

// Login kinds: the identity chosen in the login dialog. Identity 0 logs in
// with a phone number; every other identity with the school's account number.
enum { LOGIN_KIND_PHONE = 0, LOGIN_KIND_ACCOUNT_NUMBER = 1 };

// Result codes of a refused login that the callers name to the user.
enum { LOGIN_RET_WRONG_PASSWORD = 4, LOGIN_RET_DISABLED = 5 };

struct CourseDetail {
  std::string name;
  std::string user;
  std::string center;
  std::string logoId;
  int userId = 0;
};

struct SourceDetail {
  std::string name;
  std::string fileName;
  std::string fileType;
  std::string hashcode;
};

// A server's certificate refused over HTTPS: the host the client asked for,
// what is wrong (for the user) and the system's finding (for the log).
struct CertificateRejection {
  std::string host;
  platform::TlsCertProblem problem = platform::TlsCertProblem::None;
  std::string reason;
};

class CWebClient;
// What the client's last transfer says of a refused certificate: problem
// None when it failed for another reason or did not fail.
CertificateRejection CertificateRejectionOf(const CWebClient& client);

// The calls on the platform server's HTTP interface. Each call makes its own
// client, sends one request, reads the UTF-8 JSON reply and copies the fields
// it needs; it shows nothing. Results are true/false; output variables are
// written only on success, except replied, ret and info.ss of Login.
class CPlatformApi {
 public:
  // `replied`: the server answered with status 200. `ret`: the reply's "ret"
  // when it parsed. On success `info`, `schoolId` and `schoolName` are
  // replaced as a whole (absent members give 0 or empty), so nothing of a
  // previous account survives a change of account.
  static bool Login(const std::string& host, int port, const std::string& user,
                    const std::string& password, LoginInfo& info, int& schoolId,
                    std::string& schoolName, bool& replied, int kind, const std::string& fid,
                    int& ret);
  // start = 1 opens a run and yields its record id; start = 0 closes the run
  // `recordId` (userId, experId and couId are then not sent).
  static bool AddExperimentRecord(const std::string& host, int port, int start, int userId,
                                  int experId, int couId, int& recordId);
  static bool AddExperimentData(const std::string& host, int port, int recordId,
                                const std::string& data);
  // The query names the values in the platform's order: type, srcId, userId,
  // scouId, couId, score.
  static bool UpdateScore(const std::string& host, int port, int userId, int type, int scouId,
                          int couId, int srcId, int score);
  // True for any JSON reply; `size` is 0 when the reply names none. Sizes are
  // 64-bit: resources beyond 2 GiB exist.
  static bool GetFileSize(const std::string& host, int port, const std::string& fileId,
                          int64_t& size);
  static bool GetCourseDetail(const std::string& host, int port, int id, CourseDetail& course);
  static bool GetSourceDetail(const std::string& host, int port, int id, SourceDetail& source);
  // Whether the last call of this thread failed because its server's
  // certificate was refused; true once per refusal.
  static bool TakeCertificateRejection(CertificateRejection& rejection);
};

// The message that tells the user that a server's certificate was refused
// and nothing was sent to it.
std::string CertificateFailureMessage(const CertificateRejection& rejection);

// The message that tells the user why a login failed, from the outputs
// `replied` and `ret` of Login.
const char* LoginFailureMessage(bool replied, int ret);

// A form value as the platform's form decoding needs it: "%", "&" and "+"
// escaped, every other byte as it is.
std::string FormValue(const std::string& text);
