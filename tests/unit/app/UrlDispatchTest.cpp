#include <gtest/gtest.h>

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

TEST(OpenSafety, RemotePaths) {
  EXPECT_TRUE(IsRemotePath("//host/share/a.pdf"));
  EXPECT_TRUE(IsRemotePath("\\\\host\\share"));
  EXPECT_FALSE(IsRemotePath("C:/a.pdf"));
  EXPECT_FALSE(IsRemotePath("/a.pdf"));
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

// A command line that does not fit the working buffer is refused whole.
TEST(CommandLine, OverlongLineIsRefused) {
  std::vector<std::string> tokens{"stale"};
  std::string url = "velmoraurl://res:fid=" + std::string(1024, '1');
  EXPECT_FALSE(SplitCommandLine("\"C:\\VelmoraURL.exe\" \"" + url + "\"", tokens));
  EXPECT_TRUE(tokens.empty());
}

}  // namespace
