#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Most byte ranges that one download fetches at once.
inline constexpr int SEGMENT_PARTS_MAX = 10;

// One byte range as the split or the resume records give it.
struct SegmentRange {
  int64_t start;
  int64_t end;  // inclusive
  int64_t done;
};

// Rules of the segmented download, exposed for their own tests.

// Number of ranges actually used: at most 10, 1 without byte ranges.
int EffectiveParts(int parts, bool acceptsRanges);
// parts ranges of size / parts bytes, plus one for the remainder.
std::vector<SegmentRange> SplitRanges(int64_t size, int parts);
// Decimal text to 64 bits: leading blanks, a sign, digits up to the first
// other character, wrapping modulo 2^64 (so the text of 2^64 - 1 is -1).
int64_t ParseDecimal64(const std::string& text);
std::string FormatDecimal64(int64_t value);  // unsigned decimal of the bits
// Whether loaded ranges can be resumed for a file of `size` bytes: each range
// inside the file with a sane done count, and the non-empty ranges covering
// the file exactly once.
bool ResumableRanges(const std::vector<SegmentRange>& ranges, int64_t size);
// The file name of a download: the Content-Disposition name's last path
// component, else the URL's last path element (the query dropped), else the
// host; never a path, ".", "..", or a name with ":".
std::string DownloadFileName(const std::string& url, const std::string& host,
                             const std::string& dispositionName);
// The part after the last "\" (double-byte characters respected).
std::string FileNameOfPath(const std::string& path);
