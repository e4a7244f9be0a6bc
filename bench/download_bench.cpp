// One whole-file download with CWebClient::Download, for download_bench.sh:
//   download_bench <url> <target file>
// The target is removed first, so every run is a fresh download. Prints the
// bytes written, the number of received blocks and the transfer's own
// seconds; exit code 0 on success.
#include <chrono>
#include <cstdio>

#include "net/WebClient.h"

namespace {
int64_t g_nReceived = 0;
int64_t g_nBlocks = 0;
void OnProgress(int64_t, int64_t received, void*) {
  g_nReceived = received;
  ++g_nBlocks;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: download_bench <url> <file>\n");
    return 2;
  }
  std::remove(argv[2]);
  if (!CWebClient::StartupSockets()) return 3;
  CWebClient client;
  client.m_pfnProgress = OnProgress;
  auto began = std::chrono::steady_clock::now();
  bool ok = client.Download(argv[1], argv[2]);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
  std::printf("%s %lld bytes in %lld blocks %.3f s code %d\n", ok ? "ok" : "failed",
              (long long)g_nReceived, (long long)g_nBlocks, took.count(), client.m_nError);
  return ok ? 0 : 1;
}
