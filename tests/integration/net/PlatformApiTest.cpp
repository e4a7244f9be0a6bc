#include <gtest/gtest.h>

#include <functional>

#include "RefPlatform.h"
#include "net/Codecs.h"
#include "net/PlatformApi.h"
#include "net/WebClient.h"

namespace {

const RefPlatform& Ref() { return RefPlatform::Get(); }
std::string Host() { return Ref().Host(); }
int Api() { return Ref().Port("api"); }

std::string HostLine() { return "Host: 127.0.0.1:" + std::to_string(Api()) + "\r\n\r\n"; }

std::string ExpectedPost(const std::string& path, const std::string& body) {
  return "POST " + path +
         " HTTP/1.1\r\nAccept: */*\r\nConnection: close\r\nAccept-Language: zh-cn\r\n"
         "User-Agent: WebClient\r\nContent-Type: application/x-www-form-urlencoded\r\n"
         "Content-Length: " +
         std::to_string(body.size()) + "\r\n" + HostLine() + body;
}

std::string ExpectedGet(const std::string& object) {
  return "GET " + object +
         " HTTP/1.1\r\nAccept: */*\r\nConnection: close\r\nAccept-Language: zh-cn\r\n"
         "User-Agent: WebClient\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
         HostLine();
}

// One scripted reply of the platform interface for the next request to `path`.
void ScriptReply(const std::string& path, const std::string& body, int status = 200) {
  std::string quoted;
  for (char c : body) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  Ref().SetFaults("[{\"server\":\"api\",\"path\":\"" + path + "\",\"times\":1,\"reply\":{\"status\":" +
                  std::to_string(status) + ",\"body\":\"" + quoted + "\"}}]");
}

class PlatformApiTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(CWebClient::StartupSockets()); }
  void SetUp() override {
    ASSERT_TRUE(Ref().IsReady()) << "the reference platform fixture is not running";
    Ref().ClearFaults();
  }
  void TearDown() override { Ref().ClearFaults(); }
};

struct LoginCall {
  LoginInfo info;
  int schoolId = -1;
  std::string schoolName = "unset";
  bool replied = false;
  int ret = -77;
  bool ok = false;

  LoginCall& Run(const std::string& user, const std::string& password, int kind, int port = Api(),
                 const std::string& fid = "100001") {
    ok = CPlatformApi::Login(Host(), port, user, password, info, schoolId, schoolName, replied,
                             kind, fid, ret);
    return *this;
  }
};

TEST_F(PlatformApiTest, EveryCallSendsExactlyItsRequest) {
  int recordId = 5001;
  int64_t size = 0;
  CourseDetail course;
  SourceDetail source;
  LoginCall login;
  struct Case {
    const char* name;
    std::function<void()> call;
    std::string expected;
  } cases[] = {
      {"account-number login", [&] { login.Run("admin01", "velmora2026", 1); },
       ExpectedPost("/school/login.yks",
                    "no=admin01&pwd=8577cb30ef56f0b77258deefd9fbe492&client=velmora")},
      {"phone login", [&] { login.Run("13800000001", "123456", 0, Api(), "100003"); },
       ExpectedPost("/user/loginPhone.yks",
                    "phone=13800000001&pwd=e10adc3949ba59abbe56e057f20f883e&schoolID"
                    "&client=velmora&fid=100003")},
      // The user name goes out in UTF-8; the password's digest is over its GBK bytes.
      {"Chinese account number", [&] { login.Run("维墨管理员", "密码2026", 2); },
       ExpectedPost("/school/login.yks", "no=" + AnsiToUtf8("维墨管理员") +
                                             "&pwd=26ef29231d35943a42f3ddff02b0dd55&client=velmora")},
      {"record start",
       [&] { CPlatformApi::AddExperimentRecord(Host(), Api(), 1, 1001, 303, 201, recordId); },
       ExpectedPost("/experimentRecord/add.yks", "userId=1001&experId=303&couId=201&type=1")},
      {"record end",
       [&] {
         int id = 5001;
         CPlatformApi::AddExperimentRecord(Host(), Api(), 0, 1001, 303, 201, id);
       },
       ExpectedPost("/experimentRecord/add.yks", "id=5001&type=2")},
      {"data", [&] { CPlatformApi::AddExperimentData(Host(), Api(), 5001, "{\"score\":87}"); },
       ExpectedPost("/experiment/dataAdd.yks", "id=5001&data={\"score\":87}")},
      // Parameters in the call's order, query in the platform's order.
      {"score", [&] { CPlatformApi::UpdateScore(Host(), Api(), 1001, 2, 9, 201, 303, 87); },
       ExpectedGet("/statistics/updateScore.dy?type=2&srcId=303&userId=1001&scouId=9&couId=201"
                   "&score=87")},
      {"file size", [&] { CPlatformApi::GetFileSize(Host(), Api(), "100001", size); },
       ExpectedPost("/file/size.action", "fileId=100001")},
      {"course", [&] { CPlatformApi::GetCourseDetail(Host(), Api(), 201, course); },
       ExpectedGet("/course/detail.yks?id=201")},
      {"source", [&] { CPlatformApi::GetSourceDetail(Host(), Api(), 301, source); },
       ExpectedGet("/source/detail.yks?id=301")},
  };
  for (Case& c : cases) {
    int before = Ref().RequestCount();
    c.call();
    EXPECT_EQ(Ref().RequestCount(), before + 1) << c.name;
    EXPECT_EQ(Ref().LastRequest("api"), c.expected) << c.name;
  }
}

TEST_F(PlatformApiTest, PhoneLoginFillsTheAccountFromTheReply) {
  LoginCall login;
  login.Run("13800000001", "123456", LOGIN_KIND_PHONE);
  ASSERT_TRUE(login.ok);
  EXPECT_TRUE(login.replied);
  EXPECT_EQ(login.ret, 0);
  EXPECT_EQ(login.info.ss, 1);
  EXPECT_EQ(login.info.userId, 1001);
  EXPECT_EQ(login.info.role, 1);
  EXPECT_EQ(login.info.check, 1);
  EXPECT_EQ(login.info.access, 1);
  EXPECT_EQ(login.info.name, "李明");
  EXPECT_EQ(login.info.token, "tk-1001-8f3a");
  EXPECT_EQ(login.schoolId, 11);
  EXPECT_EQ(login.schoolName, "维墨实验学校");
}

TEST_F(PlatformApiTest, AccountNumberLoginGrantsAccess) {
  LoginCall login;
  login.Run("admin01", "velmora2026", LOGIN_KIND_ACCOUNT_NUMBER);
  ASSERT_TRUE(login.ok);
  EXPECT_EQ(login.info.ss, 2);
  EXPECT_EQ(login.info.userId, 2001);
  EXPECT_EQ(login.info.access, 1);
  EXPECT_EQ(login.info.token, "tk-2001-c27e");
  EXPECT_EQ(login.schoolId, 11);
  EXPECT_EQ(login.schoolName, "维墨实验学校");
}

// What the login dialog needs to choose its message: replied, ret, result.
TEST_F(PlatformApiTest, LoginOutcomes) {
  struct Case {
    const char* name;
    const char* scripted;  // reply body for the next login, or null for the real platform
    int status;
    const char* password;
    bool ok, replied;
    int ret;
  } cases[] = {
      {"accepted", nullptr, 200, "123456", true, true, 0},
      {"wrong password", nullptr, 200, "654321", false, true, 4},
      {"server error page", "<html>busy</html>", 503, "123456", false, false, -77},
      {"not JSON", "<html>maintenance</html>", 200, "123456", false, true, -77},
      {"empty list", "{\"ret\":0,\"ss\":3,\"list\":[]}", 200, "123456", false, true, 0},
      {"list of numbers", "{\"ret\":0,\"list\":[1]}", 200, "123456", false, true, 0},
      {"ret as text", "{\"ret\":\"5\",\"list\":[{\"id\":1}]}", 200, "123456", false, true, 5},
      {"no ret", "{\"list\":[{\"id\":42}]}", 200, "123456", true, true, 0},
  };
  for (const Case& c : cases) {
    if (c.scripted) ScriptReply("/user/loginPhone.yks", c.scripted, c.status);
    LoginCall login;
    login.Run("13800000001", c.password, LOGIN_KIND_PHONE);
    EXPECT_EQ(login.ok, c.ok) << c.name;
    EXPECT_EQ(login.replied, c.replied) << c.name;
    EXPECT_EQ(login.ret, c.ret) << c.name;
    if (!c.ok) {
      EXPECT_EQ(login.info.userId, 0) << c.name;
      EXPECT_EQ(login.schoolId, -1) << c.name;
      EXPECT_EQ(login.schoolName, "unset") << c.name;
    }
  }
}

TEST_F(PlatformApiTest, DisabledAccountAndMissingServer) {
  LoginCall disabled;
  disabled.Run("13800000002", "123456", LOGIN_KIND_PHONE);
  EXPECT_FALSE(disabled.ok);
  EXPECT_TRUE(disabled.replied);
  EXPECT_EQ(disabled.ret, LOGIN_RET_DISABLED);

  LoginCall unreachable;
  unreachable.Run("13800000001", "123456", LOGIN_KIND_PHONE, 1);
  EXPECT_FALSE(unreachable.ok);
  EXPECT_FALSE(unreachable.replied);
  EXPECT_EQ(unreachable.ret, -77);
}

TEST_F(PlatformApiTest, EmptyListStillRecordsSs) {
  ScriptReply("/school/login.yks", "{\"ret\":0,\"ss\":3,\"list\":[]}");
  LoginCall login;
  login.info.name = "kept";
  login.Run("admin01", "velmora2026", LOGIN_KIND_ACCOUNT_NUMBER);
  EXPECT_FALSE(login.ok);
  EXPECT_EQ(login.info.ss, 3);
  EXPECT_EQ(login.info.name, "kept");
}

// A change of account must not carry the earlier user's name, size limit or
// role into the new login.
TEST_F(PlatformApiTest, LoginReplacesTheWholeAccount) {
  LoginCall login;
  login.Run("13800000003", "123456", LOGIN_KIND_PHONE);
  ASSERT_TRUE(login.ok);
  EXPECT_EQ(login.info.name, "王芳");
  EXPECT_EQ(login.info.fsize, 2097152);
  EXPECT_EQ(login.info.access, 0);
  login.Run("admin01", "velmora2026", LOGIN_KIND_ACCOUNT_NUMBER);
  ASSERT_TRUE(login.ok);
  EXPECT_EQ(login.info.name, "");
  EXPECT_EQ(login.info.fsize, 0);
  EXPECT_EQ(login.info.role, 0);
  EXPECT_EQ(login.info.check, 0);
  EXPECT_EQ(login.info.access, 1);
  EXPECT_EQ(login.info.userId, 2001);
}

// "&", "+" and "%" in a form value would split it or be decoded into other
// bytes by the platform; they travel escaped and arrive intact.
TEST_F(PlatformApiTest, FormValuesKeepTheirSeparators) {
  LoginCall login;
  login.Run("a&b+c%d", "p&w=d", LOGIN_KIND_ACCOUNT_NUMBER);
  EXPECT_TRUE(login.ok);
  EXPECT_EQ(login.info.userId, 2003);
  EXPECT_EQ(Ref().LastRequest("api"),
            ExpectedPost("/school/login.yks",
                         "no=a%26b%2Bc%25d&pwd=d4e25cb6203e7e6b002469e0c04533db&client=velmora"));

  CPlatformApi::AddExperimentData(Host(), Api(), 5001, "{\"t\":\"1+1=2 & 100%\"}");
  EXPECT_EQ(Ref().LastRequest("api"),
            ExpectedPost("/experiment/dataAdd.yks", "id=5001&data={\"t\":\"1%2B1=2 %26 100%25\"}"));
}

TEST_F(PlatformApiTest, ExperimentRecordsRoundTrip) {
  int recordId = 0;
  ASSERT_TRUE(CPlatformApi::AddExperimentRecord(Host(), Api(), 1, 1001, 303, 201, recordId));
  EXPECT_GT(recordId, 0);
  EXPECT_TRUE(CPlatformApi::AddExperimentData(Host(), Api(), recordId, "{\"score\":87}"));
  EXPECT_TRUE(CPlatformApi::AddExperimentRecord(Host(), Api(), 0, 0, 0, 0, recordId));
  EXPECT_TRUE(CPlatformApi::UpdateScore(Host(), Api(), 1001, 1, 7, 201, 303, 90));

  int unknown = 999999;
  EXPECT_FALSE(CPlatformApi::AddExperimentData(Host(), Api(), unknown, "{\"score\":1}"));
  EXPECT_FALSE(CPlatformApi::AddExperimentRecord(Host(), Api(), 0, 0, 0, 0, unknown));

  // A start record without an id succeeds and leaves the caller's id alone.
  ScriptReply("/experimentRecord/add.yks", "{\"ret\":0,\"list\":[{\"name\":\"x\"}]}");
  int kept = 41;
  EXPECT_TRUE(CPlatformApi::AddExperimentRecord(Host(), Api(), 1, 1001, 303, 201, kept));
  EXPECT_EQ(kept, 41);
}

TEST_F(PlatformApiTest, FileSizes) {
  int64_t size = -1;
  ASSERT_TRUE(CPlatformApi::GetFileSize(Host(), Api(), "100001", size));
  EXPECT_EQ(size, 611);

  struct Case {
    const char* reply;
    bool ok;
    int64_t size;
  } cases[] = {
      {"{\"ret\":2}", true, 0},                       // "ret" is not read; no size
      {"{\"size\":3221225472}", true, 3221225472LL},  // beyond 2 GiB
      {"{\"size\":\"4096\"}", true, 4096},            // text converted
      {"{\"size\":-5}", true, 0},
      {"{\"size\":99999999999999999999999}", true, 0},
      {"file not found", false, -1},
  };
  for (const Case& c : cases) {
    ScriptReply("/file/size.action", c.reply);
    int64_t got = -1;
    EXPECT_EQ(CPlatformApi::GetFileSize(Host(), Api(), "100001", got), c.ok) << c.reply;
    EXPECT_EQ(got, c.size) << c.reply;
  }
}

TEST_F(PlatformApiTest, CourseAndSourceDetails) {
  CourseDetail course;
  ASSERT_TRUE(CPlatformApi::GetCourseDetail(Host(), Api(), 201, course));
  EXPECT_EQ(course.name, "大学物理：运动学");
  EXPECT_EQ(course.user, "李明");
  EXPECT_EQ(course.center, "物理实验中心");
  EXPECT_EQ(course.logoId, "logo-201");
  EXPECT_EQ(course.userId, 1001);

  SourceDetail source;
  ASSERT_TRUE(CPlatformApi::GetSourceDetail(Host(), Api(), 303, source));
  EXPECT_EQ(source.name, "自由落体仿真实验");
  EXPECT_EQ(source.fileName, "vmexperiment.exe");
  EXPECT_EQ(source.fileType, "exe");
  EXPECT_EQ(source.hashcode, "exp-303-v1");

  CourseDetail untouched;
  untouched.name = "kept";
  EXPECT_FALSE(CPlatformApi::GetCourseDetail(Host(), Api(), 9999, untouched));
  EXPECT_EQ(untouched.name, "kept");
  ScriptReply("/source/detail.yks", "{\"ret\":0,\"list\":{\"name\":\"x\"}}");
  SourceDetail notAList;
  EXPECT_FALSE(CPlatformApi::GetSourceDetail(Host(), Api(), 303, notAList));
  EXPECT_EQ(notAList.name, "");
}

}  // namespace
