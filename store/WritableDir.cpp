#include "store/WritableDir.h"

#include <atomic>
#include <chrono>
#include <random>

#include "platform/Files.h"
#include "platform/NewFile.h"

namespace {

constexpr int PROBE_NAMES_TRIED = 8;

std::string ProbeName() {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return ".velmora-write-test-" + std::to_string(seed) + "-" + std::to_string(now) + "-" +
         std::to_string(++counter);
}

}  // namespace

bool CanCreateFilesIn(const std::string& dir) {
  if (!platform::IsDirectory(dir)) return false;
  for (int i = 0; i < PROBE_NAMES_TRIED; ++i) {
    const std::string probe = dir + "\\" + ProbeName();
    if (platform::CreateAndRemoveNewFile(probe)) return true;
    // Only a name that is taken is worth another try; else the directory refused.
    if (!platform::FileExists(probe)) return false;
  }
  return false;
}
