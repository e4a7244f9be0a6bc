#include <gtest/gtest.h>

#include "BuildConfig.h"
#include "tools/MainMenuLayout.h"

namespace {

using Kind = MainMenuEntry::Kind;

// The menu as one line per entry: "-" a separator, "id text" a command,
// ">text" a sub-menu followed by its entries indented.
std::vector<std::string> Lines(const std::vector<MainMenuEntry>& entries, const std::string& indent = "") {
  std::vector<std::string> lines;
  for (const MainMenuEntry& e : entries) {
    if (e.kind == Kind::Separator) lines.push_back(indent + "-");
    if (e.kind == Kind::Command) lines.push_back(indent + std::to_string(e.id) + " " + e.text);
    if (e.kind == Kind::SubMenu) {
      lines.push_back(indent + ">" + e.text);
      for (std::string& line : Lines(e.entries, indent + "  ")) lines.push_back(line);
    }
  }
  return lines;
}

std::vector<std::string> Expected(bool loggedIn, bool inTray) {
  std::vector<std::string> lines;
  if (loggedIn) lines.push_back("1132 Velmora区域教育平台");
  std::vector<std::string> rest = {
      "-",
      "1157 资源浏览",
      "1158 微课制作",
      "1151 任意截屏(Alt+Shift+Z)",
      ">插件安装",
      "  1145 安装视频浏览插件",
      "  1148 安装微软Office插件",
      "  -",
      "  1164 下载视频浏览插件",
      "  1174 打开工具安装目录",
      "-",
      "1135 访问Velmora官方网站",
      "1136 检测最新版本...",
      "1128 关于 Velmora助手...",
      "-",
      inTray ? "1126 显示界面" : "1125 放入托盘（最小化）",
      "1150 设置资源存放目录...",
      "1137 清空缓存资源",
      "-",
      "1194 设置CDN服务器...",
      "-",
      "1184 异常中心...",
      "-",
      "1129 切换账号...",
      "1127 退出(&X)",
  };
  lines.insert(lines.end(), rest.begin(), rest.end());
  return lines;
}

TEST(MainMenuLayoutTest, EntriesInOrderForEveryVariant) {
  struct Case {
    bool loggedIn, inTray;
  } cases[] = {{true, false}, {true, true}, {false, false}, {false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "logged in " << c.loggedIn << ", tray " << c.inTray);
    MainMenuState state;
    state.loggedIn = c.loggedIn;
    state.inTray = c.inTray;
    state.lastHost = VELMORA_SECOND_HOST;
    EXPECT_EQ(Expected(c.loggedIn, c.inTray), Lines(MainMenuLayout(state)));
  }
}

TEST(MainMenuLayoutTest, DisplayNameOfTheLastServer) {
  const std::string upperDefault = [] {
    std::string host = VELMORA_DEFAULT_HOST;
    for (char& c : host) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return host;
  }();
  struct Case {
    std::string host, name;
  } cases[] = {
      {VELMORA_DEFAULT_HOST, "Velmora教育资源平台"},
      {upperDefault, "Velmora教育资源平台"},
      {VELMORA_SECOND_HOST, "Velmora区域教育平台"},
      {"Demo.Velmora.CN", "Velmora演示平台"},
      // Not an instance of the list: the first one's name.
      {"school.example.org", "Velmora教育资源平台"},
      {"", "Velmora教育资源平台"},
      {std::string(VELMORA_SECOND_HOST) + ".", "Velmora教育资源平台"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.name, PlatformDisplayName(c.host)) << c.host;
    MainMenuState state{true, false, c.host};
    EXPECT_EQ(c.name, MainMenuLayout(state).front().text) << c.host;
  }
}

}  // namespace
