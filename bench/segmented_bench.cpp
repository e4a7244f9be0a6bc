// One segmented download in 10 ranges, for segmented_bench.sh:
//   segmented_bench <url> <directory> [norecords]
// Downloads into <directory>/out.bin (removed first). "norecords" keeps no
// resume records, to measure what rewriting them after every block costs.
// Prints the outcome and the transfer's own seconds; exit code 0 on success.
#include <chrono>
#include <cstdio>
#include <string>

#include "net/WebClient.h"
#include "platform/Files.h"
#include "store/SegmentedDownloader.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: segmented_bench <url> <directory> [norecords]\n");
    return 2;
  }
  if (!CWebClient::StartupSockets()) return 3;
  std::string target = std::string(argv[2]) + "\\out.bin";
  platform::DeleteFileAt(target);
  platform::DeleteFileAt(target + ".down");
  platform::DeleteFileAt(target + ".down.cfg");
  CSegmentedDownloader downloader;
  downloader.m_bResumeRecords = !(argc > 3 && std::string(argv[3]) == "norecords");
  auto began = std::chrono::steady_clock::now();
  bool ok = downloader.Start(argv[1], argv[2], "out.bin", 10) && downloader.Finish(true, -1);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
  std::printf("%s %lld bytes %.3f s error %d\n", ok ? "ok" : "failed",
              (long long)downloader.GetDone(), took.count(), downloader.m_nError);
  return ok ? 0 : 1;
}
