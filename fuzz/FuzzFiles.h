#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Files.h"

// A harness that cannot write its input would only feed the loads a missing
// file, millions of times, and report nothing: stop the run instead.
[[noreturn]] inline void FuzzSetupFailed(const std::string& what) {
  std::fprintf(stderr, "fuzz setup failed: %s\n", what.c_str());
  std::abort();
}

// A directory of this fuzzing process for the data files of its inputs, in
// the stores' own path form.
inline const std::string& FuzzDir() {
  static const std::string dir = [] {
    const char* base = std::getenv("VELMORA_FUZZ_DIR");
    std::string path = std::string(base ? base : "/tmp") + "/velmora-fuzz-" + std::to_string(getpid());
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!std::filesystem::is_directory(path)) FuzzSetupFailed("cannot make " + path);
    return path;
  }();
  return dir;
}

// Writes the input as the file the store reads; no backup lies beside it.
inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = FuzzDir() + "\\" + name;
  platform::DeleteFileAt(path + "_OLD");
  platform::File file;
  if (!file.Open(path, platform::FileMode::CreateAlways) || (size && !file.Write(data, size)))
    FuzzSetupFailed("cannot write " + path);
  return path;
}
