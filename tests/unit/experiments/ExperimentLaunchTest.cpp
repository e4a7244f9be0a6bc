#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ExperimentTestSupport.h"
#include <algorithm>
#include <chrono>
#include <deque>
#include <thread>

#include "experiments/ExamFile.h"
#include "experiments/ResultSubmission.h"
#include "net/Codecs.h"

namespace {

using Launch = ExperimentFixture;
using testing::ElementsAre;

const std::string kStart = "/experimentRecord/add.yks|userId=1001&experId=303&couId=201&type=1";
const std::string kEnd5001 = "/experimentRecord/add.yks|id=5001&type=2";

TEST_F(Launch, ScoreIsSubmittedUnderTheOperationIdThenTheRunIsClosed) {
  ExperimentWrites("result: {\"score\":87,\"steps\":12}");
  CUrlCommand command = Experiment();
  EXPECT_EQ(app->OpenResourceFile(ExePath(), command), 1);

  EXPECT_THAT(platform.Calls(),
              ElementsAre(kStart, "/experiment/dataAdd.yks|id=5001&data={\"score\":87}", kEnd5001));
  EXPECT_THAT(LogEntries(),
              ElementsAre("仿真实验开始：课程ID=201，实验ID=303",
                          "实验文件:" + ExamPath() + ", 用户ID:1001, 操作ID:5001",
                          "提交实验数据：操作ID=5001", "仿真实验结束：操作ID=5001"));
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_TRUE(app->m_pExamErrors->Records().empty());
}

TEST_F(Launch, CommandLineCarriesThePasswordTheExamFileAndTheKey) {
  const std::string key = EXPERIMENT_KEY;
  ASSERT_EQ(key.size(), 24u);
  ASSERT_EQ(Base64Decode(key).size(), 18u);  // a Base64 text without padding

  struct Case { const char* pwd; int couId, experId; std::string examArg; } cases[] = {
      {"", 201, 303, ExamPath()},
      {"own-pass", 201, 303, ExamPath()},
      {"", 0, 303, "a|b"},
      {"", 201, 0, "a|b"},
      {"", -4, -4, "a|b"},
  };
  for (const Case& c : cases) {
    desktop.started.clear();
    CUrlCommand command = Experiment();
    command.m_strPwd = c.pwd;
    command.m_nCouId = c.couId;
    command.m_nExperId = c.experId;
    app->OpenResourceFile(ExePath(), command);
    const std::string pwd = *c.pwd ? c.pwd : "k3Tq9WxR#mPlz_#d";
    EXPECT_THAT(desktop.started, ElementsAre("hidden|\"" + ExePath() + "\" -p" + pwd + " -sp\"" +
                                             c.examArg + " " + key + "\""));
  }
}

TEST_F(Launch, WithoutBothIdsNoExamFileNoRecordsNoSubmission) {
  ExperimentWrites("{\"score\":50}");  // writes beside, but nothing reads it
  CUrlCommand command = Experiment();
  command.m_nCouId = 0;
  EXPECT_EQ(app->OpenResourceFile(ExePath(), command), 1);
  EXPECT_EQ(examBefore, "<missing>");
  EXPECT_TRUE(platform.Calls().empty());
  EXPECT_THAT(LogEntries(), ElementsAre("实验文件:, 用户ID:1001, 操作ID:0"));
}

// The exam file as the experiment finds it: keys in order, the name in UTF-8.
TEST_F(Launch, ExamFileHoldsTheRunsValues) {
  struct Case {
    int userId, score;
    const char* urlName;
    const char* loginName;
    const char* extra;
    std::string expected;
  } cases[] = {
      {0, 0, "", "李明", "lvl=2", "uid=1001\r\nscore=100\r\nisexam=1\r\nextradata=lvl=2\r\nusername=" +
                                     AnsiToUtf8("李明")},
      {77, -5, "王芳", "李明", "", "uid=77\r\nscore=-5\r\nisexam=1\r\nextradata=\r\nusername=" +
                                     AnsiToUtf8("王芳")},
      {-3, 60, "", "", "a", "uid=1001\r\nscore=60\r\nisexam=1\r\nextradata=a\r\nusername="},
      // a line break may not add keys of its own
      {0, 0, "", "x", "a\r\nuid=9", "uid=1001\r\nscore=100\r\nisexam=1\r\nextradata=a  uid=9\r\n"
                                     "username=x"},
  };
  for (const Case& c : cases) {
    ExperimentWrites("{}");
    CUrlCommand command = Experiment();
    command.m_nUserId = c.userId;
    command.m_nScore = c.score;
    command.m_strUserName = c.urlName;
    command.m_strExtraData = c.extra;
    app->m_login.name = c.loginName;
    WriteFileBytes(ExamPath(), "[velmora]\r\nstale=1\r\n");  // an earlier run's file goes first
    app->OpenResourceFile(ExePath(), command);
    EXPECT_EQ(examBefore, "[velmora]\r\n" + c.expected + "\r\n") << c.extra;
  }
}

TEST_F(Launch, NameFallsBackToTheSavedAccount) {
  app->m_login.name.clear();
  CServerAccount account;
  account.m_strHost = "127.0.0.1";
  account.m_nPort = platform.Port();
  account.m_strUser = "13800000001";
  app->m_pSettings->m_accounts.push_back(account);
  ExperimentWrites("{}");
  CUrlCommand command = Experiment();
  app->OpenResourceFile(ExePath(), command);
  EXPECT_NE(examBefore.find("username=13800000001\r\n"), std::string::npos) << examBefore;
}

// No output: untouched, deleted or replaced by a directory. Nothing is
// submitted; the run is closed all the same.
TEST_F(Launch, RunWithoutOutputIsLoggedAndClosed) {
  const std::string noOutput = "仿真实验结束：操作ID=5001，该实验未输出实验文件！";
  for (const std::string name : {"untouched", "deleted", "directory"}) {
    SCOPED_TRACE(name);
    ScopedAppData own("experiments-case");
    FakePlatform fresh;
    FakeDesktop d;
    CAssistantApp a(d);
    a.m_login.userId = 1001;
    ASSERT_TRUE(a.PrepareUserDirs());
    const std::string exam = a.m_pFileList->m_strResourceDir + "\\100003.exam";
    d.hiddenRun = [&](const std::string&) {
      if (name == "deleted" || name == "directory") platform::DeleteFileAt(exam);
      if (name == "directory") platform::CreateDir(exam);
    };
    CUrlCommand command = Experiment();
    command.m_nPort = fresh.Port();
    EXPECT_EQ(a.OpenResourceFile(a.m_pFileList->m_strResourceDir + "\\100003.exe", command), 1);
    EXPECT_THAT(fresh.Calls(), ElementsAre(kStart, kEnd5001));
    std::string log = ReadFileBytes(own.Path() + "\\VelmoraURL.log");
    EXPECT_NE(log.find(noOutput), std::string::npos);
    EXPECT_NE(log.find("仿真实验结束：操作ID=5001\r\n"), std::string::npos);
    EXPECT_TRUE(d.messages.empty());
  }
}

// The platform gone after the start record: the whole output waits in the
// failure list with operation id 0; the user is told once.
TEST_F(Launch, UnreachablePlatformStoresTheWholeOutput) {
  const std::string output = "log line\r\n{\"score\":87}\r\n";
  ExperimentWrites(output);
  CUrlCommand command = Experiment();
  command.m_nPort = UnreachablePort();
  EXPECT_EQ(app->OpenResourceFile(ExePath(), command), 1);

  EXPECT_THAT(desktop.messages,
              ElementsAre("VelmoraURL|实验记录提交到服务器失败，请到“异常中心”查看并重新提交！"));
  CExamErrStore saved;
  saved.SetPath(app->m_pExamErrors->GetPath());
  ASSERT_TRUE(saved.Load());
  ASSERT_EQ(saved.Records().size(), 1u);
  const ExamErrRecord& r = saved.Records().front();
  EXPECT_EQ(r.m_nOperationId, 0);
  EXPECT_EQ(r.m_nScore, 0);
  EXPECT_EQ(r.m_strData, output);
  EXPECT_EQ(r.m_strFid, "100003");
  EXPECT_EQ(r.m_nUserId, 1001);
  EXPECT_EQ(r.m_nCourseId, 201);
  EXPECT_EQ(r.m_nExperId, 303);
  EXPECT_EQ(r.m_strCourseName, "");
  EXPECT_THAT(LogEntries(), testing::Contains("仿真实验结束：操作ID=0"));
}

// Two experiments run at once in two processes; the one that fails last
// must not save over the other's failure.
TEST_F(Launch, FailureJoinsThoseStoredByOtherProcessesMeanwhile) {
  desktop.hiddenRun = [this](const std::string&) {
    CExamErrStore other;
    other.SetPath(app->m_pExamErrors->GetPath());
    ExamErrRecord earlier;
    earlier.m_strFid = "100004";
    other.Records().push_back(earlier);
    ASSERT_TRUE(other.Save());
    WriteFileBytes(ExamPath(), "{\"score\":3}");
  };
  CUrlCommand command = Experiment();
  command.m_nPort = UnreachablePort();
  app->OpenResourceFile(ExePath(), command);
  CExamErrStore saved;
  saved.SetPath(app->m_pExamErrors->GetPath());
  ASSERT_TRUE(saved.Load());
  std::vector<std::string> fids;
  for (const ExamErrRecord& r : saved.Records()) fids.push_back(r.m_strFid);
  EXPECT_THAT(fids, ElementsAre("100004", "100003"));
}

// Many runs of one user fail at once, each in a process of its own (here a
// thread with a store of its own, which takes the file's named mutex as a
// process does): every failure is in the file exactly once, and every run's
// user was told it was kept.
TEST_F(Launch, FailuresOfRunsAtOnceAreAllKept) {
  constexpr int PROCESSES = 6, RUNS = 15;
  const std::string path = app->m_pExamErrors->GetPath();
  std::vector<std::unique_ptr<FakeDesktop>> desktops;
  std::vector<std::unique_ptr<CExamErrStore>> stores;
  std::vector<ExperimentContext> contexts(PROCESSES);
  for (ExperimentContext& context : contexts) {
    desktops.push_back(std::make_unique<FakeDesktop>());
    stores.push_back(std::make_unique<CExamErrStore>());
    stores.back()->SetPath(path);
    context.desktop = desktops.back().get();
    context.examErrors = stores.back().get();
    context.userId = 1001;
    context.appTitle = "VelmoraURL";
  }
  std::vector<std::string> expected;
  std::vector<std::thread> processes;
  for (int p = 0; p < PROCESSES; ++p) {
    CUrlCommand command = Experiment();
    command.m_nPort = UnreachablePort();
    for (int run = 0; run < RUNS; ++run) expected.push_back(std::to_string(100000 * (p + 1) + run));
    processes.emplace_back([&contexts, command, p]() mutable {
      for (int run = 0; run < RUNS; ++run) {
        command.m_strFid = std::to_string(100000 * (p + 1) + run);
        SubmitExperimentData(contexts[p], command, "{\"score\":1}", 0);
      }
    });
  }
  for (std::thread& process : processes) process.join();

  CExamErrStore saved;
  saved.SetPath(path);
  ASSERT_TRUE(saved.Load());
  std::vector<std::string> fids;
  for (const ExamErrRecord& r : saved.Records()) fids.push_back(r.m_strFid);
  std::sort(fids.begin(), fids.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(fids, expected);
  for (const auto& d : desktops) {
    EXPECT_EQ(d->messages.size(), (size_t)RUNS);
    for (const std::string& m : d->messages)
      EXPECT_EQ(m, "VelmoraURL|实验记录提交到服务器失败，请到“异常中心”查看并重新提交！");
  }
}

// The file is held when a run's failure is stored: the user is told it was
// kept, nothing is saved over the file, and the failure is written at the
// latest when the process ends. While the file stays held the user is asked
// whether to try again; one who gives up is told what is lost.
TEST_F(Launch, FailureStoredWhileTheFileIsHeldIsWrittenBeforeTheEnd) {
  struct Case {
    const char* name;
    int releaseMs;  // when the holder lets go, counted from the program's end; -1: after it
    std::deque<bool> answers;
    size_t questions;
    std::vector<std::string> onDisk;
  } cases[] = {
      {"free again before the end", 0, {}, 0, {"100009", "100003"}},
      {"free again after one more try", 3000, {true}, 1, {"100009", "100003"}},
      {"still held, the user gives up", -1, {false}, 1, {"100009"}},
  };
  const std::string path = app->m_pExamErrors->GetPath();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CExamErrStore earlier;
    earlier.SetPath(path);
    ExamErrRecord record;
    record.m_strFid = "100009";
    earlier.Records().push_back(record);
    ASSERT_TRUE(earlier.Save());
    FakeDesktop d;
    AppServices services;
    services.programPath = "C:\\Program Files\\Velmora\\VelmoraURL.exe";
    auto run = std::make_unique<CAssistantApp>(d, services);
    run->m_login.userId = 1001;
    ASSERT_TRUE(run->PrepareUserDirs());
    ExperimentWrites("{\"score\":87}");
    d.hiddenRun = desktop.hiddenRun;
    auto holder = std::make_unique<platform::File>();
    ASSERT_TRUE(holder->Open(path, platform::FileMode::OpenAlways));
    CUrlCommand command = Experiment();
    command.m_nPort = UnreachablePort();
    EXPECT_EQ(run->OpenResourceFile(ExePath(), command), 1);
    EXPECT_THAT(d.messages,
                ElementsAre("VelmoraURL|实验记录提交到服务器失败，请到“异常中心”查看并重新提交！"));
    EXPECT_TRUE(run->m_pExamErrors->HasPendingFailures());

    if (c.releaseMs == 0) holder.reset();
    std::thread release([&holder, &c] {
      if (c.releaseMs <= 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(c.releaseMs));
      holder.reset();
    });
    d.answers = c.answers;
    run->ExitInstance();
    release.join();
    holder.reset();
    EXPECT_EQ(d.questions.size(), c.questions);
    for (const std::string& q : d.questions) EXPECT_NE(q.find("将丢失"), std::string::npos) << q;
    CExamErrStore saved;
    saved.SetPath(path);
    ASSERT_TRUE(saved.Load());
    std::vector<std::string> fids;
    for (const ExamErrRecord& r : saved.Records()) fids.push_back(r.m_strFid);
    EXPECT_EQ(fids, c.onDisk);
  }
}

// A failure with nowhere to be kept (no account directory for the file) is
// not announced as kept: the user hears that it is lost.
TEST_F(Launch, FailureThatCannotBeKeptIsToldAsLost) {
  ExperimentWrites("{\"score\":87}");
  app->m_pExamErrors->SetPath("");
  CUrlCommand command = Experiment();
  command.m_nPort = UnreachablePort();
  EXPECT_EQ(app->OpenResourceFile(ExePath(), command), 1);
  EXPECT_THAT(desktop.messages,
              ElementsAre("VelmoraURL|实验记录提交到服务器失败，且未能保存到“异常中心”，"
                          "本次实验结果无法重新提交！"));
  EXPECT_FALSE(app->m_pExamErrors->HasPending());
}

TEST_F(Launch, RefusedDataKeepsTheScoreTextAndTheNames) {
  platform.failing = {"/experiment/dataAdd.yks"};
  ExperimentWrites("{\"score\":\"91\"}");
  CUrlCommand command = Experiment();
  app->OpenResourceFile(ExePath(), command);

  EXPECT_THAT(platform.Paths(),
              ElementsAre("/experimentRecord/add.yks", "/experiment/dataAdd.yks",
                          "/course/detail.yks", "/source/detail.yks", "/experimentRecord/add.yks"));
  ASSERT_EQ(app->m_pExamErrors->Records().size(), 1u);
  const ExamErrRecord& r = app->m_pExamErrors->Records().front();
  EXPECT_EQ(r.m_nOperationId, 5001);
  EXPECT_EQ(r.m_nScore, 91);
  EXPECT_EQ(r.m_strData, "{\"score\":91}");
  EXPECT_EQ(r.m_strCourseName, "大学物理");
  EXPECT_EQ(r.m_strResourceName, "自由落体");
  EXPECT_EQ(desktop.messages.size(), 1u);
}

TEST_F(Launch, OutputWithoutAScoreIsSubmittedAsZero) {
  for (const char* output : {"no json at all", "{\"result\":\"ok\"}", "{\"score\":\"x7\"}"}) {
    FakePlatform fresh;
    ExperimentWrites(output);
    CUrlCommand command = Experiment();
    command.m_nPort = fresh.Port();
    app->OpenResourceFile(ExePath(), command);
    EXPECT_THAT(fresh.Calls(), testing::Contains("/experiment/dataAdd.yks|id=5001&data={\"score\":0}"))
        << output;
  }
}

TEST_F(Launch, ScorePathWritesTheScoreAndOnlyLogs) {
  struct Case {
    int couId;
    const char* output;
    bool failing;
    std::vector<std::string> calls;
    const char* last;  // the last log entry; null: only the first
  } cases[] = {
      {201, "{\"score\":64}", false,
       {kStart, "/statistics/updateScore.dy|type=2&srcId=303&userId=88&scouId=9&couId=201&score=64"},
       "医学2.0提交试验数据成功"},
      {201, "{\"score\":64}", true,
       {kStart, "/statistics/updateScore.dy|type=2&srcId=303&userId=88&scouId=9&couId=201&score=64"},
       "医学2.0提交试验数据失败"},
      {201, "no object", false, {kStart}, nullptr},
      {0, "{\"score\":64}", false, {}, "医学2.0该仿真实验无数据"},
  };
  for (const Case& c : cases) {
    ScopedAppData own("score-path");
    FakePlatform fresh;
    if (c.failing) fresh.failing = {"/statistics/updateScore.dy"};
    FakeDesktop d;
    CAssistantApp a(d);
    a.m_login.userId = 1001;
    ASSERT_TRUE(a.PrepareUserDirs());
    const std::string exam = a.m_pFileList->m_strResourceDir + "\\100003.exam";
    const std::string output = c.output;
    d.hiddenRun = [&](const std::string&) { WriteFileBytes(exam, output); };
    CUrlCommand command = Experiment();
    command.m_nPort = fresh.Port();
    command.m_nCouId = c.couId;
    command.m_nUserId = 88;
    command.m_nScouId = 9;
    command.m_nType = 2;
    EXPECT_EQ(a.OpenResourceFile(a.m_pFileList->m_strResourceDir + "\\100003.exe", command), 1);
    EXPECT_EQ(fresh.Calls(), c.calls) << c.output;
    std::string log = ReadFileBytes(own.Path() + "\\VelmoraURL.log");
    const std::string first = "医学2.0该仿真实验透传数据：userid=88, type=2, scouID=9, couID=" +
                              std::to_string(c.couId) + ", experId=303\r\n";
    EXPECT_NE(log.find(first), std::string::npos) << log;
    const size_t tail = log.rfind("]:");
    EXPECT_EQ(log.substr(tail + 2), c.last ? std::string(c.last) + "\r\n" : first) << c.output;
    EXPECT_TRUE(d.messages.empty());
  }
}

// Only a program is started as an experiment; nothing is written for a
// refused one.
TEST_F(Launch, ExperimentThatIsNotAProgramIsRefused) {
  struct Case { const char* name; const char* pwd; int result; } cases[] = {
      {"100003.exe", "", 1},        {"100003.EXE", "", 1},       {"100003.bat", "", 0},
      {"100003.cmd", "", 0},        {"100003.exe.bat", "", 0},   {"100003", "", 0},
      {"100003.com", "", 0},        {"x.exe\\100003", "", 0},
      {"100003.exe", "p\" -sp\"C:\\other.ini", 0},
  };
  for (const Case& c : cases) {
    desktop.started.clear();
    platform::DeleteFileAt(ExamPath());
    CUrlCommand command = Experiment();
    command.m_nCouId = 0;  // no platform calls
    command.m_strPwd = c.pwd;
    EXPECT_EQ(app->OpenResourceFile(ResourceDir() + "\\" + c.name, command), c.result) << c.name;
    EXPECT_EQ(desktop.started.size(), (size_t)c.result) << c.name;
  }
  CUrlCommand command = Experiment();
  EXPECT_EQ(app->OpenResourceFile(ResourceDir() + "\\100003.bat", command), 0);
  EXPECT_FALSE(platform::FileExists(ExamPath()));
  EXPECT_TRUE(platform.Calls().empty());
}

// The password stands unquoted on the command line: whatever would end it
// early and start an argument of the link's choosing is refused.
TEST_F(Launch, PasswordThatWouldSplitTheCommandLineIsRefused) {
  struct Case { std::string pwd; int result; } cases[] = {
      {"own-pass", 1},        {"中文密码", 1},          {"p#!$%&'()*+,-./:;<=>?@", 1},
      {"a b", 0},             {" -sp\"C:\\x.ini", 0},  {"a\tb", 0},
      {"a\rb", 0},            {"a\nb", 0},              {std::string("a\0b", 3), 0},
      {"a\x1f", 0},           {"a\x7f", 0},             {"a\"", 0},
  };
  for (const Case& c : cases) {
    desktop.started.clear();
    CUrlCommand command = Experiment();
    command.m_nCouId = 0;  // no platform calls
    command.m_strPwd = c.pwd;
    EXPECT_EQ(app->OpenResourceFile(ExePath(), command), c.result) << c.pwd;
    EXPECT_EQ(desktop.started.size(), (size_t)c.result) << c.pwd;
  }
}

// A link whose extension is "exam" names the exam file itself: the cached
// resource is opened as it is, never deleted or written over.
TEST_F(Launch, ResourceNamedLikeItsExamFileIsLeftAlone) {
  for (const char* ext : {"exam", "EXAM", "Exam"}) {
    SCOPED_TRACE(ext);
    const std::string resource = ResourceDir() + "\\100003." + ext;
    WriteFileBytes(resource, "cached resource");
    desktop.opened.clear();
    CUrlCommand command = Experiment();
    command.m_nFtype = 0;
    command.m_strFext = ext;
    EXPECT_EQ(app->OpenResourceFile(resource, command), 1);
    EXPECT_EQ(ReadFileBytes(resource), "cached resource");
    EXPECT_THAT(desktop.opened, ElementsAre(resource));
    platform::DeleteFileAt(resource);
  }
  EXPECT_TRUE(platform.Calls().empty());
}

// An output beyond the size of a kept result still has its score sent where
// only the score is needed; where the whole output would have to be kept
// for a retry, or it is too large to read, the user is told.
TEST_F(Launch, LargeOutputStillSubmitsItsScore) {
  const std::string tooLarge = "仿真实验的结果数据过大，无法提交到服务器！";
  const std::string stored = "实验记录提交到服务器失败，请到“异常中心”查看并重新提交！";
  const std::string large = "{\"trace\":\"" + std::string(EXAM_TEXT_MAX, 'x') + "\",\"score\":64}";
  const std::string huge(EXAM_OUTPUT_MAX + 1, ' ');
  const std::string update =
      "/statistics/updateScore.dy|type=2&srcId=303&userId=88&scouId=9&couId=201&score=64";
  struct Case {
    const char* name;
    const std::string& output;
    int scouId;
    std::string failing;
    std::vector<std::string> calls, messages;
    size_t stored;
  } cases[] = {
      {"data path", large, 0, "", {kStart, "/experiment/dataAdd.yks|id=5001&data={\"score\":64}", kEnd5001}, {}, 0},
      {"data refused", large, 0, "/experiment/dataAdd.yks",
       {kStart, "/experiment/dataAdd.yks|id=5001&data={\"score\":64}", "/course/detail.yks|id=201",
        "/source/detail.yks|id=303", kEnd5001}, {stored}, 1},
      {"no operation id", large, 0, "/experimentRecord/add.yks",
       {kStart, "/experimentRecord/add.yks|id=0&type=2"}, {tooLarge}, 0},
      {"score path", large, 9, "", {kStart, update}, {}, 0},
      {"data path, unreadable", huge, 0, "", {kStart, kEnd5001}, {tooLarge}, 0},
      {"score path, unreadable", huge, 9, "", {kStart}, {tooLarge}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedAppData own("large-output");
    FakePlatform fresh;
    if (!c.failing.empty()) fresh.failing = {c.failing};
    FakeDesktop d;
    CAssistantApp a(d);
    a.m_login.userId = 1001;
    ASSERT_TRUE(a.PrepareUserDirs());
    const std::string exam = a.m_pFileList->m_strResourceDir + "\\100003.exam";
    d.hiddenRun = [&](const std::string&) { WriteFileBytes(exam, c.output); };
    CUrlCommand command = Experiment();
    command.m_nPort = fresh.Port();
    command.m_nUserId = 88;
    command.m_nScouId = c.scouId;
    command.m_nType = 2;
    EXPECT_EQ(a.OpenResourceFile(a.m_pFileList->m_strResourceDir + "\\100003.exe", command), 1);
    EXPECT_EQ(fresh.Calls(), c.calls);
    std::vector<std::string> messages;
    for (const std::string& text : c.messages) messages.push_back(a.GetAppTitle() + "|" + text);
    EXPECT_EQ(d.messages, messages);
    EXPECT_EQ(a.m_pExamErrors->Records().size(), c.stored);
  }
}

TEST_F(Launch, OtherResourcesOpenWithTheShellAskingForCode) {
  desktop.dangerousExtensions = {".danger"};
  struct Case { const char* name; std::deque<bool> answers; size_t questions, opened; } cases[] = {
      {"a.pdf", {}, 0, 1},     {"a.mp4", {}, 0, 1},      {"a.exe", {false}, 1, 0},
      {"a.exe", {true}, 1, 1}, {"a.js", {false}, 1, 0},  {"a.danger", {false}, 1, 0},
  };
  for (const Case& c : cases) {
    FakeDesktop& d = desktop;
    d.questions.clear();
    d.opened.clear();
    d.answers = c.answers;
    CUrlCommand command = Experiment();
    command.m_nFtype = 0;
    command.m_nCouId = 0;
    EXPECT_EQ(app->OpenResourceFile(ResourceDir() + "\\" + c.name, command), 1) << c.name;
    EXPECT_EQ(d.questions.size(), c.questions) << c.name;
    EXPECT_EQ(d.opened.size(), c.opened) << c.name;
    EXPECT_TRUE(d.started.empty());
  }
}

TEST_F(Launch, DocumentWithBothIdsStillGetsAnExamFile) {
  CUrlCommand command = Experiment();
  command.m_nFtype = 0;
  EXPECT_EQ(app->OpenResourceFile(ResourceDir() + "\\100003.pdf", command), 1);
  EXPECT_TRUE(platform::FileExists(ExamPath()));
  EXPECT_THAT(desktop.opened, ElementsAre(ResourceDir() + "\\100003.pdf"));
  EXPECT_TRUE(platform.Calls().empty());
}

TEST_F(Launch, ExperimentThatCannotStartLeavesOnlyItsExamFile) {
  desktop.startSucceeds = false;
  CUrlCommand command = Experiment();
  EXPECT_EQ(app->OpenResourceFile(ExePath(), command), 0);
  EXPECT_TRUE(platform::FileExists(ExamPath()));
  EXPECT_TRUE(platform.Calls().empty());
  EXPECT_TRUE(LogEntries().empty());
}

// The shell's refusal is told and logged; the download still counts as done
// (no "download failed" after it), and a document the student declined to
// open is no failure.
TEST_F(Launch, DocumentTheShellCannotOpenIsToldAndLogged) {
  desktop.openSucceeds = false;
  desktop.dangerousExtensions = {".exe"};
  struct Case { const char* name; std::deque<bool> answers; size_t messages; } cases[] = {
      {"a.vlab", {}, 1}, {"a.exe", {true}, 1}, {"a.exe", {false}, 0},
  };
  for (const Case& c : cases) {
    desktop.messages.clear();
    desktop.answers = c.answers;
    CUrlCommand command = Experiment();
    command.m_nFtype = 0;
    command.m_nCouId = 0;
    const std::string path = ResourceDir() + "\\" + c.name;
    EXPECT_EQ(app->OpenResourceFile(path, command), 1) << c.name;
    ASSERT_EQ(desktop.messages.size(), c.messages) << c.name;
    if (c.messages) {
      EXPECT_EQ(desktop.messages[0].rfind("Velmora助手|资源已下载，但无法打开：\n" + path, 0), 0u);
    }
  }
  EXPECT_THAT(LogEntries(), ElementsAre("资源文件无法打开：" + ResourceDir() + "\\a.vlab",
                                        "资源文件无法打开：" + ResourceDir() + "\\a.exe"));
}

}  // namespace
