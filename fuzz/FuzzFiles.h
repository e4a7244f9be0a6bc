#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Files.h"

// A directory of this fuzzing process for the data files of its inputs, in
// the stores' own path form.
inline const std::string& FuzzDir() {
  static const std::string dir = [] {
    const char* base = std::getenv("VELMORA_FUZZ_DIR");
    std::string path = std::string(base ? base : "/tmp") + "/velmora-fuzz-" + std::to_string(getpid());
    platform::CreateDir(path);
    return path;
  }();
  return dir;
}

// Writes the input as the file the store reads; no backup lies beside it.
inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = FuzzDir() + "\\" + name;
  platform::DeleteFileAt(path + "_OLD");
  platform::File file;
  if (file.Open(path, platform::FileMode::CreateAlways)) file.Write(data, size);
  return path;
}
