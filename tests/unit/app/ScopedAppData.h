#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

// Points APPDATA at a fresh directory of its own for the test's life, so that
// nothing is written into the user's profile; removed at the end.
class ScopedAppData {
 public:
  explicit ScopedAppData(const std::string& tag) {
    static int counter = 0;
    m_dir = std::filesystem::temp_directory_path() /
            ("velmora-" + tag + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
    const char* old = getenv("APPDATA");
    m_bHadOld = old != nullptr;
    if (old) m_strOld = old;
    Set(Path());
  }
  ~ScopedAppData() {
    if (m_bHadOld) Set(m_strOld);
    else Set("");
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }
  // The directory as the program's text names it.
  std::string Path() const { return m_dir.string(); }
  std::filesystem::path Native(const std::string& relative = "") const {
    std::string part = relative;
    for (char& c : part)
      if (c == '\\') c = '/';
    return part.empty() ? m_dir : m_dir / part;
  }

 private:
  static void Set(const std::string& value) {
#ifdef _WIN32
    _putenv_s("APPDATA", value.c_str());
#else
    if (value.empty()) unsetenv("APPDATA");
    else setenv("APPDATA", value.c_str(), 1);
#endif
  }

  std::filesystem::path m_dir;
  std::string m_strOld;
  bool m_bHadOld = false;
};
