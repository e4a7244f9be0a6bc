#include "store/HeldFile.h"

#include <chrono>
#include <thread>

#include "app/AppLog.h"

namespace {

constexpr auto HELD_FILE_WAIT = std::chrono::milliseconds(2000);
constexpr auto HELD_FILE_RETRY = std::chrono::milliseconds(50);

}  // namespace

HeldFileOpen OpenWaitingForHolder(const std::string& path, platform::File& file) {
  const auto deadline = std::chrono::steady_clock::now() + HELD_FILE_WAIT;
  for (;;) {
    switch (file.TryOpen(path, platform::FileMode::SharedRead)) {
      case platform::OpenOutcome::Opened: return HeldFileOpen::Opened;
      case platform::OpenOutcome::Held: break;
      default: return HeldFileOpen::Missing;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      WriteLog(GetLogPath(), "[%s]:数据文件被其他程序占用，未能读取：%s\r\n", FormatNow().c_str(),
               path.c_str());
      return HeldFileOpen::Held;
    }
    std::this_thread::sleep_for(HELD_FILE_RETRY);
  }
}

void CHeldFiles::NoteLoad(const std::string& path, bool held) {
  if (held) m_held.insert(path);
  else m_held.erase(path);
}

bool CHeldFiles::MaySaveOver(const std::string& path) const {
  if (m_held.count(path) == 0) return true;
  WriteLog(GetLogPath(), "[%s]:数据文件读取时被其他程序占用，未保存以免覆盖其中较新的内容：%s\r\n",
           FormatNow().c_str(), path.c_str());
  return false;
}
