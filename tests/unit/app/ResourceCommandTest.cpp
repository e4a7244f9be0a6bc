#include <gtest/gtest.h>

#include <algorithm>

#include "app/CdnLookup.h"
#include "app/ResourceLinkCheck.h"
#include "unit/app/ResourceFixture.h"

namespace {

using namespace resource_test;

TEST_F(ResourceTest, DownloadedFileIsRecordedAndThenOpensAtOnce) {
  platform.resources["100"] = Pattern(300000);
  EXPECT_EQ(Run(Link("100")), 1);
  ASSERT_EQ(desktop.opened, std::vector<std::string>{Cached("100")});
  EXPECT_EQ(ReadAll(Native(FileDir() + "100.pdf")), platform.resources["100"]);
  EXPECT_FALSE(fs::exists(Native(FileDir() + "100.pdf.tmp")));
  ASSERT_NE(app->m_pFileList->FindHash("100"), nullptr);
  EXPECT_EQ(app->m_pFileList->FindHash("100")->m_strHash, "h1");
  EXPECT_EQ(platform.RequestsFor("/file/downLoad?ft=1&u=2&fid=100 ").size(), 1u);
  EXPECT_EQ((std::vector<std::string>{"start timer", "show", "title 下载资源", "range 0-292",
                                      "stop timer", "hide"}),
            app->progressEvents);

  EXPECT_EQ(Run(Link("100")), 1);
  EXPECT_EQ(desktop.opened.size(), 2u);
  EXPECT_EQ(Count("/file/downLoad"), 1u);  // no second download
  EXPECT_EQ(Count("/file/size.action"), 1u);
  EXPECT_TRUE(desktop.questions.empty());
}

TEST_F(ResourceTest, OnlyResourcesAboveOneMebibyteAsk) {
  const struct { size_t size; bool answer; bool asks; bool fetched; } cases[] = {
      {1048576, false, false, true},
      {1048577, false, true, false},
      {1048577, true, true, true},
  };
  int n = 0;
  for (const auto& c : cases) {
    std::string fid = "2" + std::to_string(n++);
    platform.resources[fid] = Pattern(c.size);
    desktop.questions.clear();
    desktop.answers = {c.answer};
    EXPECT_EQ(Run(Link(fid)), 1) << c.size;
    EXPECT_EQ(desktop.questions.size(), c.asks ? 1u : 0u) << c.size;
    if (c.asks) {
      EXPECT_EQ(desktop.questions[0], "提示|该资源大小为1.00M，需下载后方可打开，确定下载么？");
    }
    EXPECT_EQ(Count("/file/downLoad?ft=1&u=2&fid=" + fid + " "), c.fetched ? 1u : 0u) << c.size;
  }
}

TEST_F(ResourceTest, LoginSizeIsUsedWithoutAskingThePlatform) {
  platform.loginReply = R"({"ret":0,"list":[{"id":42,"access":1,"fsize":3145728}]})";
  platform.resources["300"] = Pattern(1000);
  desktop.answers = {false};
  EXPECT_EQ(Run(Link("300")), 1);
  ASSERT_EQ(desktop.questions.size(), 1u);
  EXPECT_NE(desktop.questions[0].find("3.00M"), std::string::npos);
  EXPECT_EQ(Count("/file/size.action"), 0u);
}

TEST_F(ResourceTest, CancelKeepsThePartAndTheSameLinkResumesIt) {
  platform.resources["400"] = Pattern(2 * 1048576);
  app->cancelAfterPositions = 1;
  desktop.answers = {true};
  EXPECT_EQ(Run(Link("400")), 1);
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_TRUE(desktop.opened.empty());
  const fs::path partial = Native(FileDir() + "400.pdf.tmp");
  ASSERT_TRUE(fs::exists(partial));
  const size_t kept = fs::file_size(partial);
  ASSERT_GT(kept, 0u);
  ASSERT_NE(app->m_pFileList->FindHash("400"), nullptr);  // recorded: the next link resumes

  app->cancelAfterPositions = -1;
  desktop.questions.clear();
  desktop.answers = {true};
  EXPECT_EQ(Run(Link("400")), 1);
  ASSERT_EQ(desktop.questions.size(), 1u);
  char expected[200];
  snprintf(expected, sizeof expected, "提示|该资源大小为2.00M，目前已下载%0.2fM，确定继续下载么？",
           kept / 1048576.0);
  EXPECT_EQ(desktop.questions[0], expected);
  auto downloads = platform.RequestsFor("/file/downLoad");
  ASSERT_EQ(downloads.size(), 2u);
  EXPECT_EQ(downloads[1].substr(downloads[1].find('\n') + 1), "bytes=" + std::to_string(kept) + "-");
  EXPECT_EQ(ReadAll(Native(FileDir() + "400.pdf")), platform.resources["400"]);
  EXPECT_EQ(desktop.opened.size(), 1u);
}

TEST_F(ResourceTest, FailedFirstDownloadStartsFromZeroNextTime) {
  platform.resources["500"] = Pattern(200000);
  platform.dropAfter = 50000;
  EXPECT_EQ(Run(Link("500")), 0);
  EXPECT_EQ(desktop.messages, std::vector<std::string>{"Velmora助手|资源下载失败！"});
  EXPECT_TRUE(fs::exists(Native(FileDir() + "500.pdf.tmp")));
  EXPECT_EQ(app->m_pFileList->FindHash("500"), nullptr);

  platform.dropAfter = -1;
  EXPECT_EQ(Run(Link("500")), 1);
  auto downloads = platform.RequestsFor("/file/downLoad");
  ASSERT_EQ(downloads.size(), 2u);
  EXPECT_EQ(downloads[1].substr(downloads[1].find('\n') + 1), "");  // no Range
  EXPECT_EQ(ReadAll(Native(FileDir() + "500.pdf")), platform.resources["500"]);
}

TEST_F(ResourceTest, ChangedHashDownloadsAgainAndSaysSoAboveOneMebibyte) {
  platform.resources["600"] = Pattern(2 * 1048576);
  desktop.answers = {true, true};
  EXPECT_EQ(Run(Link("600")), 1);
  platform.resources["600"] = Pattern(1048576 * 3);
  std::string updated = "velmoraurl://res:fid=600&fext=pdf&hashcode=h2&server=" + Server();
  EXPECT_EQ(Run(updated), 1);
  ASSERT_EQ(desktop.questions.size(), 2u);
  EXPECT_EQ(desktop.questions[1], "提示|该资源已更新大小为3.00M，需重新下载方可打开，确定下载么？");
  EXPECT_EQ(ReadAll(Native(FileDir() + "600.pdf")), platform.resources["600"]);
  EXPECT_EQ(app->m_pFileList->FindHash("600")->m_strHash, "h2");
}

TEST_F(ResourceTest, CdnServerIsAskedFirst) {
  const struct { bool holds; int holdsFromCall; const char* title; size_t cdnFetches; } cases[] = {
      {true, 1, "title 下载资源(CDN)", 1},
      {false, 1, "title 下载资源", 0},
      {true, 2, "title 下载资源(CDN)", 1},  // the second look-up after Yes finds it
  };
  int n = 0;
  for (const auto& c : cases) {
    std::string fid = "7" + std::to_string(n++);
    platform.resources[fid] = Pattern(1048576 + 10);
    if (c.holds) platform.cdnPaths[fid] = "/cdn/" + fid + ".pdf";
    platform.cdnHoldsFromCall = c.holdsFromCall;
    StoreCdnServer(app->Shared(), platform.CdnServer());
    app->progressEvents.clear();
    desktop.answers = {true};
    EXPECT_EQ(Run(Link(fid)), 1) << fid;
    EXPECT_EQ(Count("/cdn/" + fid + ".pdf"), c.cdnFetches) << fid;
    EXPECT_EQ(Count("/file/downLoad?ft=1&u=2&fid=" + fid + " "), c.cdnFetches ? 0u : 1u) << fid;
    ASSERT_GE(app->progressEvents.size(), 3u);
    EXPECT_EQ(app->progressEvents[2], c.title) << fid;
    EXPECT_EQ(ReadAll(Native(FileDir() + fid + ".pdf")), platform.resources[fid]) << fid;
    platform.cdnPaths.clear();
  }
  // The CDN server entry stands on a line of its own, without a time.
  const std::string log = "\n" + Log();
  EXPECT_NE(log.find("\nCDN Server : " + platform.CdnServer() + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("]:CDN===>" + platform.CdnServer() + "\r\n"), std::string::npos);
}

TEST_F(ResourceTest, WithoutACdnServerItsEntryIsEmpty) {
  platform.resources["1300"] = Pattern(100);
  EXPECT_EQ(Run(Link("1300")), 1);
  EXPECT_EQ(Log().substr(0, 15), "CDN Server : \r\n");
}

// A file that the CDN server named but then does not deliver comes from the
// platform in the same progress window, from its first byte (the CDN server's
// copy may be an older one); a cancel is no failure to deliver.
TEST_F(ResourceTest, CdnServerFailingToDeliverFallsBackToThePlatform) {
  using Delivery = CFakePlatform::CdnDelivery;
  const size_t size = 300000;
  const struct {
    const char* name;
    Delivery delivery;
    bool platformFails;    // the platform's transfer breaks off too
    int cancelAfter;       // progress positions before Cancel, -1 never
    int result;
    const char* platformRange;  // of the platform's request, nullptr for none
  } cases[] = {
      {"evicted: 404", Delivery::NotFound, false, -1, 1, ""},
      {"cut short", Delivery::CutShort, false, -1, 1, ""},
      {"no reply at all", Delivery::NoReply, false, -1, 1, ""},
      {"cancelled while the CDN server delivers", Delivery::Whole, false, 1, 1, nullptr},
      {"the platform fails too", Delivery::NotFound, true, -1, 0, ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string fid = "14" + std::to_string(n++);
    const std::string path = "/cdn/" + fid + ".pdf";
    platform.resources[fid] = Pattern(size);
    platform.cdnCopies[fid] = std::string(size, 'o');
    platform.cdnPaths = {{fid, path}};
    platform.cdnDelivery = c.delivery;
    platform.cdnCutAfter = 120000;
    StoreCdnServer(app->Shared(), platform.CdnServer());
    app->progressEvents.clear();
    app->cancelAfterPositions = c.cancelAfter;
    desktop.messages.clear();
    platform.dropAfter = c.platformFails ? 1000 : -1;
    const size_t logBefore = Log().size();

    EXPECT_EQ(Run(Link(fid)), c.result);
    EXPECT_EQ(Count(path), 1u);
    auto fromPlatform = platform.RequestsFor("/file/downLoad?ft=1&u=2&fid=" + fid + " ");
    const std::string fellBack = Log().substr(logBefore);
    if (!c.platformRange) {
      EXPECT_TRUE(fromPlatform.empty());
      EXPECT_EQ(fellBack.find("改从平台下载"), std::string::npos) << fellBack;
      EXPECT_TRUE(desktop.messages.empty());
      continue;
    }
    ASSERT_EQ(fromPlatform.size(), 1u);
    EXPECT_EQ(fromPlatform[0].substr(fromPlatform[0].find('\n') + 1), c.platformRange);
    EXPECT_NE(fellBack.find("]:CDN下载失败("), std::string::npos) << fellBack;
    EXPECT_NE(fellBack.find("改从平台下载：" + fid + "\r\n"), std::string::npos) << fellBack;
    ASSERT_GE(app->progressEvents.size(), 8u);
    EXPECT_EQ(app->progressEvents[2], "title 下载资源(CDN)");
    auto platformTitle =
        std::find(app->progressEvents.begin(), app->progressEvents.end(), "title 下载资源");
    ASSERT_NE(platformTitle, app->progressEvents.end());
    EXPECT_EQ(*(platformTitle - 1), "show");
    EXPECT_EQ(*(platformTitle - 2), "start timer");
    EXPECT_EQ(std::count(app->progressEvents.begin(), app->progressEvents.end(), "hide"), 1);
    EXPECT_EQ(app->progressEvents.back(), c.result ? "hide" : "stop timer");
    if (c.result == 1) {
      // Not a byte of the CDN server's older copy is kept.
      EXPECT_TRUE(ReadAll(Native(FileDir() + fid + ".pdf")) == platform.resources[fid]);
      EXPECT_TRUE(desktop.messages.empty());
    } else {
      EXPECT_EQ(desktop.messages, std::vector<std::string>{"Velmora助手|资源下载失败！"});
    }
  }
}

// A part is resumed only from the platform that sent it: the CDN server's
// copy may be another version, so neither is the head of the other.
TEST_F(ResourceTest, APartIsNeverResumedFromTheOtherSource) {
  const size_t size = 300000;
  const struct { const char* name; bool cancelledFromCdn; } cases[] = {
      {"cancelled while the CDN server sent it, then from the platform", true},
      {"cancelled while the platform sent it, then from the CDN server", false},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string fid = "15" + std::to_string(n++);
    const std::string path = "/cdn/" + fid + ".pdf";
    platform.resources[fid] = Pattern(size);
    platform.cdnCopies[fid] = std::string(size, 'o');
    platform.cdnDelivery = CFakePlatform::CdnDelivery::Whole;
    StoreCdnServer(app->Shared(), platform.CdnServer());
    auto cdnHolds = [&](bool holds) {
      platform.cdnPaths.clear();
      if (holds) platform.cdnPaths[fid] = path;
    };
    cdnHolds(c.cancelledFromCdn);
    app->cancelAfterPositions = 1;
    desktop.answers = {true, true};
    EXPECT_EQ(Run(Link(fid)), 1);
    EXPECT_EQ(fs::exists(Native(FileDir() + fid + ".pdf.tmp")), !c.cancelledFromCdn);

    cdnHolds(!c.cancelledFromCdn);
    app->cancelAfterPositions = -1;
    EXPECT_EQ(Run(Link(fid)), 1);
    const std::string whole = c.cancelledFromCdn ? platform.resources[fid] : platform.cdnCopies[fid];
    EXPECT_TRUE(ReadAll(Native(FileDir() + fid + ".pdf")) == whole);
    for (const std::string& request : platform.RequestsFor("/file/downLoad?ft=1&u=2&fid=" + fid + " "))
      EXPECT_EQ(request.substr(request.find('\n') + 1), "");  // no Range
  }
}

TEST_F(ResourceTest, CdnRepliesThatLeadElsewhereAreFailedLookUps) {
  const struct { const char* reply; bool found; int64_t size; } cases[] = {
      {R"({"ret":0,"path":"/f/a.pdf","size":"1234"})", true, 1234},
      {R"({"ret":0,"path":"/f/a.pdf","size":-5})", true, 0},
      {R"({"ret":0,"path":"@evil.example/x","size":1})", false, 0},
      {R"({"ret":0,"path":"evil.example/x"})", false, 0},
      {R"({"ret":0,"path":"/a b"})", false, 0},
      {"{\"ret\":0,\"path\":\"/a\x01\"}", false, 0},
      // A quote would open an argument of the video viewer's command line.
      {R"({"ret":0,"path":"/f/a.mp4\""})", false, 0},
      {R"({"ret":0,"path":"/f/\"a.mp4"})", false, 0},
      {R"({"ret":0,"path":""})", false, 0},
      {R"({"ret":1,"path":"/f/a.pdf"})", false, 0},
      {R"(not json)", false, 0},
  };
  for (const auto& c : cases) {
    platform.findReply = c.reply;
    std::string path;
    int64_t size = 0;
    EXPECT_EQ(CdnFindFile(platform.CdnServer(), "1", path, size), c.found) << c.reply;
    EXPECT_EQ(size, c.size) << c.reply;
    if (!c.found) {
      EXPECT_EQ(path, "") << c.reply;
    }
  }
}

TEST_F(ResourceTest, LoginFailuresAreNamed) {
  const struct { const char* reply; const char* message; } cases[] = {
      {R"({"ret":4})", "提示|登录失败：用户名或密码错误！"},
      {R"({"ret":5})", "提示|登录失败：该账户已被禁用！"},
      {R"({"ret":0,"list":[]})", "提示|登录失败：服务器访问错误！"},
      {R"({"ret":0,"list":[{"id":42,"access":0}]})", "Velmora助手|您没有权限浏览该资源！"},
  };
  for (const auto& c : cases) {
    platform.loginReply = c.reply;
    desktop.messages.clear();
    EXPECT_EQ(Run(Link("800")), 0) << c.reply;
    EXPECT_EQ(desktop.messages, std::vector<std::string>{c.message}) << c.reply;
  }
  EXPECT_EQ(Count("/file/downLoad"), 0u);
}

TEST_F(ResourceTest, UnreachableServerIsANetworkError) {
  uint16_t unused = 0;
  platform::SocketHandle s = platform::ListenTcp(CFakePlatform::HOST, 0, unused);
  platform::CloseSocket(s);
  app->m_pSettings->UpdateAccount(CFakePlatform::HOST, unused, "u", "p", 1, 1, 0, 0, 0, "");
  std::string link = "velmoraurl://res:fid=1&fext=pdf&server=127.0.0.2:" + std::to_string(unused);
  EXPECT_EQ(Run(link), 0);
  EXPECT_EQ(desktop.messages,
            std::vector<std::string>{"Velmora助手|登录失败：网络错误或服务器无响应！"});
}

TEST_F(ResourceTest, AnotherServerShowsTheLoginAndOpensNothing) {
  platform.resources["900"] = Pattern(100);
  // No remembered account there: the login dialog, cancelled.
  EXPECT_EQ(Run("velmoraurl://res:fid=900&fext=pdf&server=other.example:9000"), 0);
  EXPECT_EQ(app->loginDialogs, std::vector<std::string>{"other.example:9000"});
  // Logged in by the dialog, yet not onto the link's server: asked again, nothing opened.
  app->loginDialogLogsIn = true;
  app->m_pSettings->m_strLastHost = CFakePlatform::HOST;
  EXPECT_EQ(Run("velmoraurl://res:fid=900&fext=pdf&server=other.example:9000"), 1);
  EXPECT_EQ(app->loginDialogs.size(), 3u);
  EXPECT_TRUE(desktop.opened.empty());
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_EQ(Count("/file/downLoad"), 0u);
}

TEST_F(ResourceTest, ResourceBeingHandledOrNoFreeSlot) {
  platform.resources["1000"] = Pattern(100);
  ASSERT_TRUE(ClaimSlot(app->Shared(), "1000"));  // a first click still downloads it
  EXPECT_EQ(app->DispatchUrl(Link("1000")), 0);
  EXPECT_TRUE(desktop.messages.empty());
  ReleaseSlot(app->Shared(), "1000");
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(ClaimSlot(app->Shared(), "busy" + std::to_string(i)));
  EXPECT_EQ(app->DispatchUrl(Link("1000")), 0);
  EXPECT_EQ(desktop.messages, std::vector<std::string>{
                                  "Velmora助手|最多同时支持5个下载，请等待其它资源下载完毕后再试！"});
  EXPECT_TRUE(desktop.opened.empty());
  EXPECT_EQ(Count("/file/downLoad"), 0u);
}

// The old copy cannot be replaced (here a directory holds its name): the
// user is told which file, the download stays in ".tmp", nothing recorded.
TEST_F(ResourceTest, FailedRenameKeepsThePartAndRecordsNothing) {
  platform.resources["1100"] = Pattern(5000);
  fs::create_directories(Native(FileDir() + "1100.pdf"));
  EXPECT_EQ(Run(Link("1100")), 0);
  ASSERT_EQ(desktop.messages.size(), 2u);
  EXPECT_NE(desktop.messages[0].find(Cached("1100")), std::string::npos) << desktop.messages[0];
  EXPECT_EQ(desktop.messages[1], "Velmora助手|资源下载失败！");
  EXPECT_EQ(ReadAll(Native(FileDir() + "1100.pdf.tmp")), platform.resources["1100"]);
  EXPECT_EQ(app->m_pFileList->FindHash("1100"), nullptr);
  EXPECT_TRUE(desktop.opened.empty());
}

// The account's directories cannot be made (a file holds the name): the
// download has nowhere to go and is not started.
TEST_F(ResourceTest, NoResourceDirectoryDownloadsNothing) {
  platform.resources["1200"] = Pattern(100);
  std::ofstream(Native("VelmoraWeb\\00000042")) << "in the way";
  EXPECT_EQ(Run(Link("1200")), 0);
  EXPECT_EQ(desktop.messages, (std::vector<std::string>{"Velmora助手|创建Account目录失败！",
                                                        "Velmora助手|资源下载失败！"}));
  EXPECT_EQ(Count("/file/downLoad"), 0u);
  EXPECT_TRUE(desktop.opened.empty());
}

TEST_F(ResourceTest, HostileLinksTouchNothingAndSendNothing) {
  fs::create_directories(Native("VelmoraWeb\\Documents"));
  std::ofstream(Native("VelmoraWeb\\Documents\\thesis.docx")) << "years of work";
  const char* const links[] = {
      "fid=../Documents/thesis&fext=docx",   // backslashes arrive as slashes
      "fid=..&fext=docx",
      "fid=C:thesis&fext=docx",
      "fid=thesis&fext=docx/../../x",
      "fid=thesis&fext=d:x",
      "fid=con&fext=docx",
      "fid=NUL.txt&fext=docx",
      "fid=thesis&fext=COM1",
      "fid=lpt9&fext=pdf",
      "fid=a|b&fext=pdf",
      "fid=a*&fext=pdf",
      "fid=a<b>&fext=pdf",
      "fid=a?b&fext=pdf",
      "fid=thesis.&fext=pdf",
      "fid=1&fext=pdf.",
      "fid=a%26b&fext=pdf",  // values are not decoded: '%' itself is refused
      "fid=a#b&fext=pdf",
      "fid=a b&fext=pdf",
      "fid=a\x01&fext=pdf",
      "fid=1&fext=p\x7f",
      "fext=pdf",  // no fid
  };
  for (const char* params : links) {
    size_t logBefore = Log().size();
    std::string url = std::string("velmoraurl://res:") + params + "&hashcode=h&server=" + Server();
    EXPECT_EQ(Run(url), 0) << params;
    std::string added = Log().substr(logBefore);
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << params << added;
  }
  EXPECT_TRUE(platform.Requests().empty());
  EXPECT_TRUE(app->loginDialogs.empty());
  EXPECT_TRUE(desktop.messages.empty() && desktop.questions.empty() && desktop.opened.empty());
  EXPECT_EQ(ReadAll(Native("VelmoraWeb\\Documents\\thesis.docx")), "years of work");
  EXPECT_FALSE(fs::exists(Native("VelmoraWeb\\00000042")));
}

TEST(ResourceLinkCheck, PlainNamesPass) {
  for (const char* fid : {"100001", "a-b_c", "资源1", "con1", "comx", "x.y", "乗"})  // 乗: its GBK trail byte is the backslash
    EXPECT_TRUE(IsSafeResourceFid(fid)) << fid;
  for (const char* fext : {"pdf", "", "tar.gz", "PPTX", "乗"})
    EXPECT_TRUE(IsSafeResourceFext(fext)) << fext;
  EXPECT_FALSE(IsSafeResourceFext("a b "));
  EXPECT_TRUE(IsSafeResourceFext("a b"));  // a blank inside an extension names no other file
  EXPECT_FALSE(IsSafeResourceFid("a\\b"));
  EXPECT_FALSE(IsSafeResourceFid("CONOUT$"));
}

}  // namespace

// Any machine on the LAN can announce itself: a resource that will run as a
// program comes from an announced server never, from one that IT or the user
// named as usual; documents use either.
TEST_F(ResourceTest, ProgramsComeFromAnAnnouncedCdnServerNever) {
  const struct {
    const char* fext;
    int ftype;
    bool announced;
    bool fromCdn;
  } cases[] = {
      {"pdf", 0, true, true},   {"exe", 1, true, false}, {"exe", 0, true, false},
      {"bat", 0, true, false},  {"exe", 1, false, true}, {"pdf", 0, false, true},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string fid = "81" + std::to_string(n++);
    platform.resources[fid] = Pattern(100);
    platform.cdnPaths[fid] = "/cdn/" + fid + "." + c.fext;
    if (c.announced) StoreAnnouncedCdnServer(app->Shared(), platform.CdnServer());
    else StoreCdnServer(app->Shared(), platform.CdnServer());
    desktop.answers = {false};  // nothing is started or opened
    Run("velmoraurl://res:fid=" + fid + "&fext=" + c.fext + "&hashcode=h1&ftype=" +
        std::to_string(c.ftype) + "&pwd=abc&server=" + Server());
    EXPECT_EQ(Count("/cdn/" + fid + "." + c.fext), c.fromCdn ? 1u : 0u) << fid << " " << c.fext;
    EXPECT_EQ(Count("/file/downLoad?ft=1&u=2&fid=" + fid + " "), c.fromCdn ? 0u : 1u) << fid;
    const bool logged = Log().find("改从平台下载：" + fid + "\r\n") != std::string::npos;
    EXPECT_EQ(logged, !c.fromCdn) << fid;
  }
}
