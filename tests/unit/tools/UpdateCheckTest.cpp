#include <gtest/gtest.h>

#include "ToolFakes.h"
#include "net/Codecs.h"
#include "tools/ToolCommands.h"
#include "tools/UpdateCheck.h"

namespace {

const char kProgramBytes[] = "the running build";

class UpdateCheck : public ToolTest {
 protected:
  UpdateCheck() {
    platform::CreateDir(dir / "prog");
    WriteFileBytes(context.programPath, kProgramBytes);
  }
  void Publish(const std::string& hashcode, const std::string& force = "0") {
    fetcher.files["vmtool.ini"] =
        "[VelmoraURL]\r\nhashcode=" + hashcode + "\r\nforceupdate=" + force + "\r\n";
  }
  std::string Upgraded() const {
    return T("VmUpgrade.exe") + "|\"" + dir / "prog\\" + "\"";
  }
};

TEST_F(UpdateCheck, ValuesOfTheDescriptionFile) {
  const std::string longValue(300, 'a');
  struct Case {
    std::string ini, program, browser;
    int force;
  } cases[] = {
      {"", "", "", 0},
      {"[VelmoraURL]\r\n[VmBrowser]\r\n", "", "", 0},
      {"[VelmoraURL]\r\nhashcode=ab12\r\nforceupdate=2\r\n[VmBrowser]\r\nhashcode=cd34\r\n",
       "ab12", "cd34", 2},
      {"[VelmoraURL]\r\nforceupdate=1\r\n", "", "", 1},
      {"[VelmoraURL]\r\nhashcode=" + longValue + "\r\n", longValue.substr(0, 259), "", 0},
      {"[VmBrowser]\r\nhashcode=ab12\r\n", "", "ab12", 0},
  };
  for (const Case& c : cases) {
    WriteFileBytes(dir / "vmtool.ini", c.ini);
    ToolInfo read = ReadToolInfo(dir / "vmtool.ini");
    EXPECT_EQ(read.programDigest, c.program) << c.ini;
    EXPECT_EQ(read.browserDigest, c.browser) << c.ini;
    EXPECT_EQ(read.forceUpdate, c.force) << c.ini;
  }
}

TEST_F(UpdateCheck, DigestOfFilesAroundTheBlockSize) {
  for (size_t size : {0, 1, 4095, 4096, 4097, 3 * 4096 + 5}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = (char)(i * 7 + 3);
    WriteFileBytes(dir / "f.bin", bytes);
    EXPECT_EQ(FileDigest(dir / "f.bin"), Md5Hex(bytes)) << size;
  }
  EXPECT_EQ(FileDigest(dir / "f.bin").size(), 32u);
  EXPECT_EQ(FileDigest(dir / "missing.bin"), "");
}

// The running program is open for reading while its digest is taken.
TEST_F(UpdateCheck, DigestOfAFileOpenElsewhereForReading) {
  platform::File running;
  ASSERT_TRUE(running.Open(context.programPath, platform::FileMode::SharedRead));
  EXPECT_EQ(FileDigest(context.programPath), Md5Hex(kProgramBytes));
}

TEST_F(UpdateCheck, ProgramDirectoryEndsInItsBackslash) {
  EXPECT_EQ(ProgramDirectory("C:\\Program Files\\V\\VelmoraURL.exe"), "C:\\Program Files\\V\\");
  EXPECT_EQ(ProgramDirectory("VelmoraURL.exe"), "");
}

// Which published digest offers an update, and what each answer leads to.
TEST_F(UpdateCheck, OffersAndAnswers) {
  const std::string own = Md5Hex(kProgramBytes);
  std::string upper = own;
  for (char& c : upper) c = (char)toupper((unsigned char)c);
  const std::string optional = "提示|发现新版Velmora助手，是否更新？";
  const std::string forced = "提示|发现新版Velmora助手，需要更新后方可使用，是否更新？";
  struct Case {
    const char* what;
    std::string hashcode, force;
    bool answer, result, found;
    std::string question;
    bool upgraded;
  } cases[] = {
      {"empty hashcode", "", "1", true, true, false, "", false},
      {"own digest", own, "1", true, true, false, "", false},
      {"letter case differs", upper, "0", false, true, true, optional, false},
      {"newer, declined", "0123456789abcdef0123456789abcdef", "0", false, true, true, optional,
       false},
      {"forced by 2, declined", "0123456789abcdef0123456789abcdef", "2", false, false, true,
       forced, false},
      {"forced, accepted", "0123456789abcdef0123456789abcdef", "1", true, true, true, forced,
       true},
      {"newer, accepted", "0123456789abcdef0123456789abcdef", "0", true, true, true, optional,
       true},
  };
  for (const Case& c : cases) {
    desktop.questions.clear();
    desktop.opened.clear();
    desktop.answers = {c.answer};
    Publish(c.hashcode, c.force);
    // The announced build is what the server hands out.
    fetcher.files["VelmoraURL.exe"] = "new build";
    fetcher.files["VmUpgrade.exe"] = "upgrader";
    if (c.upgraded) {
      Publish(Md5Hex("new build"), c.force);
    }
    bool found = !c.found;
    EXPECT_EQ(CheckForUpdate(context, found), c.result) << c.what;
    EXPECT_EQ(found, c.found) << c.what;
    EXPECT_EQ(desktop.questions,
              c.question.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.question})
        << c.what;
    EXPECT_EQ(desktop.opened.size(), c.upgraded ? 1u : 0u) << c.what;
  }
}

TEST_F(UpdateCheck, NoDescriptionNoOffer) {
  bool found = true;
  EXPECT_TRUE(CheckForUpdate(context, found));
  EXPECT_FALSE(found);
  EXPECT_FALSE(info.fetched);
  EXPECT_TRUE(desktop.questions.empty());
  EXPECT_FALSE(platform::FileExists(dir / "data\\vmtool.ini"));
}

// Someone answering for the tool server of an https entry fails its
// certificate: the start goes on, and the user is told why nothing came.
TEST_F(UpdateCheck, ACertificateRefusedByTheToolServerIsTold) {
  Publish(Md5Hex("a newer build"));
  fetcher.certificateRefused = true;
  bool found = true;
  EXPECT_TRUE(CheckForUpdate(context, found));
  EXPECT_FALSE(found);
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0],
            "提示|服务器 tools.test 的证书无效（证书不是由受信任的机构颁发的），已停止连接。");
  // One refusal, one notice: the next fetch that fails for another reason is
  // not told as a certificate's.
  fetcher.certificateRefused = false;
  fetcher.files.clear();
  EXPECT_TRUE(CheckForUpdate(context, found));
  EXPECT_EQ(desktop.messages.size(), 1u);
}

TEST_F(UpdateCheck, DescriptionIsFetchedAfresh) {
  WriteFileBytes(dir / "data\\vmtool.ini", "[VmBrowser]\r\nhashcode=stale\r\n");
  fetcher.files["vmtool.ini"] = "[VmBrowser]\r\nhashcode=fresh\r\n";
  EXPECT_TRUE(FetchToolInfo(context));
  EXPECT_EQ(info.browserDigest, "fresh");
  EXPECT_TRUE(info.fetched);
  fetcher.files.clear();
  EXPECT_FALSE(FetchToolInfo(context));
  EXPECT_EQ(info.browserDigest, "");
}

TEST_F(UpdateCheck, UpgradeFetchesAndStartsTheUpgrader) {
  fetcher.files = {{"VmUpgrade.exe", "upgrader"}, {"VelmoraURL.exe", "new build"}};
  info.programDigest = Md5Hex("new build");
  WriteFileBytes(T("VelmoraURL.exe"), "older download");
  EXPECT_TRUE(RunUpgrade(context, dir / "prog\\"));
  // Each signature is fetched from beside its file, right after it.
  EXPECT_EQ(fetcher.fetched, (std::vector<std::string>{"VmUpgrade.exe", "VmUpgrade.exe.sig",
                                                        "VelmoraURL.exe", "VelmoraURL.exe.sig"}));
  EXPECT_EQ(ReadFileBytes(T("VelmoraURL.exe")), "new build");
  EXPECT_EQ(ReadFileBytes(context.tempDir + "VelmoraURL.exe"), "new build");
  EXPECT_EQ(desktop.opened, std::vector<std::string>{Upgraded()});

  // A present upgrader is kept; the program is always fetched anew.
  fetcher.fetched.clear();
  EXPECT_TRUE(RunUpgrade(context, dir / "prog\\"));
  EXPECT_EQ(fetcher.fetched, (std::vector<std::string>{"VelmoraURL.exe", "VelmoraURL.exe.sig"}));
}

// The announced digest checks the new program in either letter case, while
// the offer itself compares exactly (see OffersAndAnswers).
TEST_F(UpdateCheck, AnnouncedDigestChecksTheNewProgramInEitherCase) {
  std::string upper = Md5Hex("new build");
  for (char& c : upper) c = (char)toupper((unsigned char)c);
  for (const std::string& published : {upper, Md5Hex("new build")}) {
    fetcher.files = {{"VmUpgrade.exe", "upgrader"}, {"VelmoraURL.exe", "new build"}};
    info.programDigest = published;
    desktop.opened.clear();
    EXPECT_TRUE(RunUpgrade(context, dir / "prog\\")) << published;
    EXPECT_EQ(desktop.opened, std::vector<std::string>{Upgraded()}) << published;
    EXPECT_EQ(ReadFileBytes(context.tempDir + "VelmoraURL.exe"), "new build");
  }
}

TEST_F(UpdateCheck, TamperedProgramStartsNothing) {
  fetcher.files = {{"VmUpgrade.exe", "upgrader"}, {"VelmoraURL.exe", "tampered build"}};
  info.programDigest = Md5Hex("new build");
  EXPECT_FALSE(RunUpgrade(context, dir / "prog\\"));
  EXPECT_TRUE(desktop.opened.empty());
  EXPECT_FALSE(platform::FileExists(context.tempDir + "VelmoraURL.exe"));
  EXPECT_FALSE(platform::FileExists(T("VelmoraURL.exe")));
}

TEST_F(UpdateCheck, FailedFetchesStartNothingAndLeaveNoPart) {
  fetcher.files = {{"VelmoraURL.exe", "new build"}};
  info.programDigest = Md5Hex("new build");
  fetcher.partialOf = "VmUpgrade.exe";
  EXPECT_FALSE(RunUpgrade(context, dir / "prog\\"));
  // A cut upgrader would count as present and be started next time.
  EXPECT_FALSE(platform::FileExists(T("VmUpgrade.exe")));
  fetcher.partialOf.clear();
  fetcher.files = {{"VmUpgrade.exe", "upgrader"}};
  EXPECT_FALSE(RunUpgrade(context, dir / "prog\\"));
  EXPECT_TRUE(desktop.opened.empty());
}

TEST_F(UpdateCheck, MenuTellsWhatTheCheckFound) {
  struct Case {
    const char* what;
    bool published;
    std::string hashcode;
    std::vector<std::string> messages;
  } cases[] = {
      {"current", true, Md5Hex(kProgramBytes), {"提示|目前版本已是最新！"}},
      {"nothing published", true, "", {"提示|目前版本已是最新！"}},
      {"server unreachable", false, "", {"提示|无法连接服务器，检测最新版本失败！"}},
      {"newer, declined", true, "0123456789abcdef0123456789abcdef", {}},
  };
  for (const Case& c : cases) {
    desktop.messages.clear();
    fetcher.files.clear();
    if (c.published) Publish(c.hashcode);
    CheckForUpdateFromMenu(context);
    EXPECT_EQ(desktop.messages, c.messages) << c.what;
  }
}

}  // namespace

// Installed for the whole machine, the program's directory is not the user's:
// the offer still shows, a Yes names what the administrator must install,
// nothing is fetched or started, and a forced update then ends the program.
TEST_F(UpdateCheck, AProgramDirectoryTheUserCannotWriteIsLeftToTheAdministrator) {
  context.programPath = dir / "no such dir\\VelmoraURL.exe";  // nothing can be made there
  // The tool server's file carries digests and the force flag only: the
  // message must read whole without a version, forced or not.
  const std::string message =
      "提示|新版Velmora助手须由管理员安装：本机的程序目录只有管理员可以更改，请联系管理员更新。";
  const struct {
    const char* force;
    bool result;
  } cases[] = {{"0", true}, {"1", false}};
  for (const auto& c : cases) {
    desktop.questions.clear();
    desktop.messages.clear();
    desktop.opened.clear();
    fetcher.fetched.clear();
    desktop.answers = {true};
    fetcher.files["vmtool.ini"] = std::string("[VelmoraURL]\r\nhashcode=0123456789abcdef0123456789abcdef\r\n") +
                                  "forceupdate=" + c.force + "\r\n";
    bool found = false;
    EXPECT_EQ(CheckForUpdate(context, found), c.result) << c.force;
    EXPECT_TRUE(found);
    EXPECT_EQ(desktop.questions.size(), 1u);
    EXPECT_EQ(desktop.messages, std::vector<std::string>{message});
    EXPECT_TRUE(desktop.opened.empty()) << "no upgrader is started";
    // The tool check asks for the publisher's key retirements too.
    EXPECT_EQ(fetcher.fetched, (std::vector<std::string>{"vmtool.ini", "keys.retired"}));
  }
}
