#include <gtest/gtest.h>

#include <deque>

#include "FakeDesktop.h"
#include "app/AssistantApp.h"
#include "app/CommandLine.h"
#include "app/OpenSafety.h"

namespace {

struct Dispatch : testing::Test {
  FakeDesktop desktop;
  CAssistantApp app{desktop};
};

TEST_F(Dispatch, ExeFormAsksAndStartsTheQuotedCommandLineOnYes) {
  desktop.answers = {true};
  EXPECT_EQ(app.DispatchUrl("velmoraurl://exe:'C:\\Tools\\x.exe' '-a b'"), 1);
  ASSERT_EQ(desktop.questions.size(), 1u);
  EXPECT_NE(desktop.questions[0].find("提示|"), std::string::npos);
  EXPECT_NE(desktop.questions[0].find("C:/Tools/x.exe"), std::string::npos);
  EXPECT_NE(desktop.questions[0].find("-a b"), std::string::npos);
  ASSERT_EQ(desktop.started.size(), 1u);
  EXPECT_EQ(desktop.started[0], "\"C:/Tools/x.exe\" \"-a b\"");
}

TEST_F(Dispatch, ExeFormWithoutArgumentQuotesOnlyThePath) {
  desktop.answers = {true};
  app.DispatchUrl("\"velmoraurl://exe:'C:/a b/x.exe' 'p' 'q'\"");
  ASSERT_EQ(desktop.started.size(), 1u);
  EXPECT_EQ(desktop.started[0], "\"C:/a b/x.exe\"");
}

TEST_F(Dispatch, ExeFormStartsNothingOnNo) {
  desktop.answers = {false};
  EXPECT_EQ(app.DispatchUrl("velmoraurl://exe:'cmd.exe' '/c del x'"), 0);
  EXPECT_EQ(desktop.questions.size(), 1u);
  EXPECT_TRUE(desktop.started.empty());
}

TEST_F(Dispatch, ExeFormReportsAFailedStart) {
  desktop.answers = {true};
  desktop.startSucceeds = false;
  EXPECT_EQ(app.DispatchUrl("velmoraurl://exe:'C:/missing.exe'"), 0);
}

TEST_F(Dispatch, DocumentsOpenAtOnce) {
  EXPECT_EQ(app.DispatchUrl("velmoraurl://file:'C:\\Docs\\lesson.pdf'"), 1);
  EXPECT_TRUE(desktop.questions.empty());
  ASSERT_EQ(desktop.opened.size(), 1u);
  EXPECT_EQ(desktop.opened[0], "C:/Docs/lesson.pdf");
}

// The shell's refusal is told; the link itself was carried out (result 1),
// and a file the user declined to open is no failure.
TEST_F(Dispatch, AFileTheShellCannotOpenIsTold) {
  desktop.openSucceeds = false;
  const struct { const char* url; std::deque<bool> answers; size_t messages; } cases[] = {
      {"velmoraurl://file:C:/Docs/lesson.vlab", {}, 1},
      {"velmoraurl://file:C:/x/setup.exe", {true}, 1},
      {"velmoraurl://file:C:/x/setup.exe", {false}, 0},
  };
  for (const auto& c : cases) {
    desktop.messages.clear();
    desktop.answers = c.answers;
    EXPECT_EQ(app.DispatchUrl(c.url), 1) << c.url;
    ASSERT_EQ(desktop.messages.size(), c.messages) << c.url;
    if (c.messages) {
      EXPECT_EQ(desktop.messages[0].rfind("Velmora助手|无法打开以下文件：\n", 0), 0u)
          << desktop.messages[0];
    }
  }
}

TEST_F(Dispatch, FilesThatRunCodeOpenOnlyAfterYes) {
  const struct { const char* url; bool answer; bool opened; } cases[] = {
      {"velmoraurl://file:C:/x/setup.EXE", false, false},
      {"velmoraurl://file:C:/x/setup.exe", true, true},
      {"velmoraurl://file:C:/x/run.bat", false, false},
      {"velmoraurl://file:C:/x/link.lnk", false, false},
      {"velmoraurl://file:C:/x/a.vbs. . .", false, false},  // the shell ignores trailing dots
      {"velmoraurl://file:C:/x/pkg.msi", false, false},
      {"velmoraurl://file:C:/x/custom.danger", false, false},  // the system's own judgement
      {"velmoraurl://file:\\\\host\\share\\a.pdf", false, false},
      {"velmoraurl://file://host/share/a.pdf", true, true},
  };
  for (const auto& c : cases) {
    FakeDesktop d;
    d.dangerousExtensions = {".danger"};
    d.answers = {c.answer};
    CAssistantApp a(d);
    EXPECT_EQ(a.DispatchUrl(c.url), 1) << c.url;
    EXPECT_EQ(d.questions.size(), 1u) << c.url;
    EXPECT_EQ(d.opened.size(), c.opened ? 1u : 0u) << c.url;
  }
}

TEST_F(Dispatch, KindNoneDoesNothing) {
  for (const char* url : {"http://example/x", "velmoraurl://file", "velmoraurl://exe:''", ""}) {
    EXPECT_EQ(app.DispatchUrl(url), 1) << url;
  }
  EXPECT_TRUE(desktop.questions.empty());
  EXPECT_TRUE(desktop.started.empty());
  EXPECT_TRUE(desktop.opened.empty());
}

TEST(OpenSafety, FileFormTargets) {
  using T = FileFormTarget;
  const struct { const char* path; T target; const char* machine; } cases[] = {
      {"C:/a.pdf", T::LocalFile, ""},
      {"c:\\docs\\a.pdf", T::LocalFile, ""},
      {"//host/share/a.pdf", T::OtherMachine, "host"},
      {"\\\\host\\share", T::OtherMachine, "host"},
      {"file://host/share/a.pdf", T::OtherMachine, "host"},
      {"FILE://10.0.0.9/s/a.pdf", T::OtherMachine, "10.0.0.9"},
      {"file:///C:/a.pdf", T::OtherHandler, ""},
      {"someproto:abc", T::OtherHandler, ""},
      {"search-ms:query=x", T::OtherHandler, ""},
      {"ms-settings:", T::OtherHandler, ""},
      {"//?/C:/a.pdf", T::OtherHandler, ""},
      {"/a.pdf", T::OtherHandler, ""},
      {"a.pdf", T::OtherHandler, ""},
      {"C:a.pdf", T::OtherHandler, ""},
  };
  for (const auto& c : cases) {
    std::string machine;
    EXPECT_EQ(ClassifyFileFormPath(c.path, machine), c.target) << c.path;
    EXPECT_EQ(machine, c.machine) << c.path;
  }
}

// A scheme or another machine is asked about, the machine named.
TEST(OpenSafety, FileFormAsksBeforeHandingAnAddressOn) {
  const struct { const char* url; const char* named; } cases[] = {
      {"velmoraurl://file:someproto:abc", "someproto:abc"},
      {"velmoraurl://file:file://fileserver/share/a.pdf", "“fileserver”"},
      {"velmoraurl://file:%5C%5Cnas%5Cs%5Ca.pdf", "“nas”"},
  };
  for (const auto& c : cases) {
    FakeDesktop d;
    CAssistantApp a(d);
    a.DispatchUrl(c.url);
    ASSERT_EQ(d.questions.size(), 1u) << c.url;
    EXPECT_NE(d.questions[0].find(c.named), std::string::npos) << d.questions[0];
    EXPECT_TRUE(d.opened.empty()) << c.url;
  }
}

TEST(CommandLine, SplitTable) {
  const struct { std::string line; std::vector<std::string> tokens; } cases[] = {
      {"\"C:\\a\\VelmoraURL.exe\" \"velmoraurl://res:fid=1\"",
       {"C:\\a\\VelmoraURL.exe", "velmoraurl://res:fid=1"}},
      {"\"C:\\a\\VelmoraURL.exe\"", {"C:\\a\\VelmoraURL.exe"}},
      {"\"\"\"x\"\"  \"\"y\"", {"x", "y"}},
      {"  ", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> tokens;
    EXPECT_TRUE(SplitCommandLine(c.line, tokens));
    EXPECT_EQ(tokens, c.tokens) << c.line;
  }
}

// A command line that does not fit its buffer is refused whole; a link of
// a long Chinese name as a browser encodes it fits.
TEST(CommandLine, OverlongLineIsRefused) {
  std::string name;
  for (int i = 0; i < 200; ++i) name += "%E8%AF%BE";
  std::vector<std::string> tokens;
  EXPECT_TRUE(SplitCommandLine("\"C:\\VelmoraURL.exe\" \"velmoraurl:res?fname=" + name + "\"",
                               tokens));
  EXPECT_EQ(tokens.size(), 2u);
  tokens = {"stale"};
  std::string url = "velmoraurl://res:fid=" + std::string(COMMAND_LINE_LIMIT, '1');
  EXPECT_FALSE(SplitCommandLine("\"C:\\VelmoraURL.exe\" \"" + url + "\"", tokens));
  EXPECT_TRUE(tokens.empty());
}

}  // namespace
