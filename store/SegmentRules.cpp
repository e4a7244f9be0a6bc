#include "store/SegmentRules.h"

#include <algorithm>

#include "net/MbcsText.h"

int EffectiveParts(int parts, bool acceptsRanges) {
  if (!acceptsRanges || parts < 1) return 1;
  return std::min(parts, SEGMENT_PARTS_MAX);
}

std::vector<SegmentRange> SplitRanges(int64_t size, int parts) {
  std::vector<SegmentRange> ranges;
  if (parts < 1) parts = 1;
  const int64_t each = size / parts;
  const int64_t rest = size % parts;
  for (int i = 0; i < parts; ++i) ranges.push_back({each * i, each * i + each - 1, 0});
  if (rest > 0) ranges.push_back({each * parts, each * parts + rest - 1, 0});
  return ranges;
}

int64_t ParseDecimal64(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  if (negative) value = 0 - value;
  return static_cast<int64_t>(value);
}

std::string FormatDecimal64(int64_t value) {
  return std::to_string(static_cast<uint64_t>(value));
}

bool ResumableRanges(const std::vector<SegmentRange>& ranges, int64_t size) {
  if (ranges.empty() || ranges.size() > SEGMENT_PARTS_MAX + 1u || size <= 0)
    return false;
  std::vector<SegmentRange> filled;
  for (const SegmentRange& r : ranges) {
    if (r.start < 0 || r.start > size || r.end < r.start - 1 || r.end >= size) return false;
    if (r.done < 0 || r.done > r.end - r.start + 1) return false;
    if (r.end >= r.start) filled.push_back(r);
  }
  std::sort(filled.begin(), filled.end(),
            [](const SegmentRange& a, const SegmentRange& b) { return a.start < b.start; });
  int64_t next = 0;  // every byte belongs to exactly one range
  for (const SegmentRange& r : filled) {
    if (r.start != next) return false;
    next = r.end + 1;
  }
  return next == size;
}

namespace {

// Position of the last "/" or "\" that is not the trail byte of a
// double-byte character, or npos.
size_t LastSeparator(const std::string& text) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsGbkPairAt(text, i)) {
      ++i;
      continue;
    }
    if (c == '/' || c == '\\') found = i;
  }
  return found;
}

std::string LastComponent(const std::string& name) {
  size_t separator = LastSeparator(name);
  std::string last = separator == std::string::npos ? name : name.substr(separator + 1);
  return last == "." || last == ".." ? std::string() : last;
}

std::string NameFromUrl(const std::string& url) {
  size_t slash = url.rfind('/');
  size_t query = url.rfind('?');
  if (slash == std::string::npos) {
    size_t scheme = url.find("://");
    return scheme == std::string::npos ? url : url.substr(scheme + 3);
  }
  if (query != std::string::npos && query > slash) return url.substr(slash + 1, query - slash - 1);
  return url.substr(slash + 1);
}

}  // namespace

std::string DownloadFileName(const std::string& url, const std::string& host,
                             const std::string& dispositionName) {
  // The server's name is only ever a name inside the chosen directory.
  std::string name = LastComponent(dispositionName);
  if (name.empty()) name = LastComponent(NameFromUrl(url));
  if (name.empty()) name = LastComponent(host);
  return MbcsReplaceChar(name, ':', '_');
}

std::string FileNameOfPath(const std::string& path) {
  size_t i = 0, found = std::string::npos;
  for (; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsGbkPairAt(path, i)) {
      ++i;
    } else if (c == '\\') {
      found = i;
    }
  }
  return found == std::string::npos ? path : path.substr(found + 1);
}
