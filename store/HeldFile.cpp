#include "store/HeldFile.h"

#include <chrono>
#include <thread>

namespace {

constexpr auto HELD_FILE_WAIT = std::chrono::milliseconds(2000);
constexpr auto HELD_FILE_RETRY = std::chrono::milliseconds(50);

}  // namespace

HeldFileOpen OpenWaitingForHolder(const std::string& path, platform::File& file) {
  const auto deadline = std::chrono::steady_clock::now() + HELD_FILE_WAIT;
  for (;;) {
    if (file.Open(path, platform::FileMode::Read)) return HeldFileOpen::Opened;
    if (!platform::FileExists(path)) return HeldFileOpen::Missing;
    if (std::chrono::steady_clock::now() >= deadline) return HeldFileOpen::Held;
    std::this_thread::sleep_for(HELD_FILE_RETRY);
  }
}
