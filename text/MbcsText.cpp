#include "text/MbcsText.h"

#include <climits>

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Calls `visit(index)` for every single-byte character of the text.
template <typename Visit>
void ForEachSingleByte(const std::string& text, Visit visit) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsGbkPairAt(text, i)) {
      ++i;
      continue;
    }
    visit(i);
  }
}

}  // namespace

bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

bool IsGbkTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

bool IsGbkPairAt(const std::string& text, size_t i) {
  return i + 1 < text.size() && IsGbkLeadByte((unsigned char)text[i]) &&
         IsGbkTrailByte((unsigned char)text[i + 1]);
}

std::string MbcsToLower(const std::string& text) {
  std::string out = text;
  ForEachSingleByte(out, [&](size_t i) {
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = (char)(out[i] - 'A' + 'a');
  });
  return out;
}

std::string MbcsReplaceChar(const std::string& text, char from, char to) {
  std::string out = text;
  ForEachSingleByte(out, [&](size_t i) {
    if (out[i] == from) out[i] = to;
  });
  return out;
}

bool MbcsEqualNoCase(const std::string& a, const std::string& b) {
  return MbcsToLower(a) == MbcsToLower(b);
}

std::string TrimSpaces(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsSpace(text[begin])) ++begin;
  while (end > begin && IsSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

int AtoiLike(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > (long long)INT_MAX + 1) value = (long long)INT_MAX + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return (int)value;
}
