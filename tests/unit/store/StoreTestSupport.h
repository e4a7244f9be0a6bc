#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Files.h"

// A fresh directory per test, relative to the working directory, given to
// the stores in their own path form ("dir\name").
class ScratchDir {
 public:
  ScratchDir() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    m_name = std::string("store_tmp_") + test->test_suite_name() + "_" + test->name();
    for (char& c : m_name)
      if (c == '/') c = '_';
    std::filesystem::remove_all(m_name);
    std::filesystem::create_directory(m_name);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_name, ignored);
  }
  std::string Path() const { return m_name; }
  std::string operator/(const std::string& child) const { return m_name + "\\" + child; }

 private:
  std::string m_name;
};

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  platform::File file;
  ASSERT_TRUE(file.Open(path, platform::FileMode::CreateAlways)) << path;
  ASSERT_TRUE(file.Write(bytes.data(), bytes.size()));
}

inline std::string ReadFileBytes(const std::string& path) {
  platform::File file;
  if (!file.Open(path, platform::FileMode::Read)) return "<missing>";
  std::string bytes;
  char buffer[4096];
  size_t got = 0;
  while (file.Read(buffer, sizeof buffer, got) && got > 0) bytes.append(buffer, got);
  return bytes;
}

// A file of the source tree, in the path form of the platform the test runs
// on (Wine sees the Linux root as drive Z:).
inline std::string SourceFile(const std::string& relative) {
  std::string path = std::string(VELMORA_SOURCE_DIR) + "/" + relative;
#ifdef _WIN32
  for (char& c : path)
    if (c == '/') c = '\\';
  path = "Z:" + path;
#endif
  return path;
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += (char)v;
  return bytes;
}
