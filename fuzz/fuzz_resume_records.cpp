// The resume records of a segmented download, read and judged.
#include <vector>

#include "FuzzFiles.h"
#include "store/SegmentedDownloader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<SegmentRange> ranges;
  if (ReadResumeRecords(WriteInput("tool.bin.down.cfg", data, size), ranges))
    ResumableRanges(ranges, 1000);
  return 0;
}
