#include "tools/MainMenuLayout.h"

#include "BuildConfig.h"
#include "net/MbcsText.h"
#include "net/ServerAddress.h"

namespace {

struct PlatformInstance {
  const char* host;
  const char* name;
};

// The instances the program knows; the first is the fallback for any other
// server, which is most often a school's own copy of the default platform.
const PlatformInstance kInstances[] = {
    {VELMORA_DEFAULT_HOST, "Velmora教育资源平台"},
    {VELMORA_SECOND_HOST, "Velmora区域教育平台"},
    {"demo.velmora.cn", "Velmora演示平台"},
};

MainMenuEntry Command(int id, std::string text) {
  MainMenuEntry entry;
  entry.kind = MainMenuEntry::Kind::Command;
  entry.id = id;
  entry.text = std::move(text);
  return entry;
}

MainMenuEntry Separator() { return MainMenuEntry(); }

MainMenuEntry PluginSubMenu() {
  MainMenuEntry entry;
  entry.kind = MainMenuEntry::Kind::SubMenu;
  entry.text = "插件安装";
  entry.entries = {
      Command(IDM_INSTALL_VIEWER, "安装视频浏览插件"),
      Command(IDM_INSTALL_OFFICE, "安装微软Office插件"),
      Separator(),
      Command(IDM_DOWNLOAD_VIEWER, "下载视频浏览插件"),
      Command(IDM_TOOLS_DIR, "打开工具安装目录"),
  };
  return entry;
}

}  // namespace

std::string PlatformDisplayName(const std::string& host) {
  for (const PlatformInstance& instance : kInstances)
    if (MbcsEqualNoCase(ServerHostName(host), instance.host)) return instance.name;
  return kInstances[0].name;
}

std::vector<MainMenuEntry> MainMenuLayout(const MainMenuState& state) {
  std::vector<MainMenuEntry> menu;
  if (state.loggedIn) menu.push_back(Command(IDM_HOME_PAGE, PlatformDisplayName(state.lastHost)));
  menu.insert(menu.end(), {
      Separator(),
      Command(IDM_BROWSE_PLUGIN, "资源浏览"),
      Command(IDM_MICRO_COURSE, "微课制作"),
      Command(IDM_SCREEN_CAPTURE, "任意截屏(Alt+Shift+Z)"),
      PluginSubMenu(),
      Separator(),
      Command(IDM_MAKER_SITE, MAKER_SITE_TEXT),
      Command(IDM_CHECK_UPDATE, "检测最新版本..."),
      Command(IDM_ABOUT, "关于 Velmora助手..."),
      Separator(),
      state.inTray ? Command(IDM_TRAY_SHOW, "显示界面") : Command(IDM_TRAY_HIDE, "放入托盘（最小化）"),
      Command(IDM_RESOURCE_DIR, "设置资源存放目录..."),
      Command(IDM_CLEAR_CACHE, "清空缓存资源"),
      Separator(),
      Command(IDM_CDN_SERVER, "设置CDN服务器..."),
      Separator(),
      Command(IDM_EXAM_ERRORS, "异常中心..."),
      Separator(),
      Command(IDM_SWITCH_ACCOUNT, "切换账号..."),
      Command(IDM_EXIT, "退出(&X)"),
  });
  return menu;
}
