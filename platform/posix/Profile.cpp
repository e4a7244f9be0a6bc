#include "platform/Profile.h"

#include <strings.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "platform/posix/NativePath.h"

namespace platform {
namespace {

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(NativePath(path), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  return strcasecmp(Trim(a).c_str(), Trim(b).c_str()) == 0;
}

// The section's name when the line opens one.
bool SectionName(const std::string& line, std::string& name) {
  std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[') return false;
  size_t close = trimmed.find(']');
  if (close == std::string::npos) return false;
  name = trimmed.substr(1, close - 1);
  return true;
}

bool KeyOf(const std::string& line, const std::string& key, std::string* value) {
  size_t equals = line.find('=');
  if (equals == std::string::npos || !SameName(line.substr(0, equals), key)) return false;
  if (value) *value = Trim(line.substr(equals + 1));
  return true;
}

}  // namespace

bool WriteProfileText(const std::string& path, const std::string& section, const std::string& key,
                      const std::string& value) {
  std::vector<std::string> lines = ReadLines(path);
  const std::string entry = key + "=" + value;
  bool inSection = false;
  size_t insertAt = lines.size();
  bool found = false, sectionSeen = false;
  for (size_t i = 0; i < lines.size() && !found; ++i) {
    std::string name;
    if (SectionName(lines[i], name)) {
      if (inSection) break;
      inSection = SameName(name, section);
      if (inSection) sectionSeen = true;
      insertAt = i + 1;
      continue;
    }
    if (!inSection) continue;
    if (KeyOf(lines[i], key, nullptr)) {
      lines[i] = entry;
      found = true;
    } else if (!Trim(lines[i]).empty()) {
      insertAt = i + 1;
    }
  }
  if (!found) {
    if (sectionSeen) {
      lines.insert(lines.begin() + insertAt, entry);
    } else {
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    }
  }
  std::ofstream out(NativePath(path), std::ios::binary | std::ios::trunc);
  for (const auto& line : lines) out << line << "\r\n";
  return (bool)out.flush();
}

std::string ReadProfileText(const std::string& path, const std::string& section,
                            const std::string& key, const std::string& fallback,
                            size_t capacity) {
  if (capacity == 0) return std::string();
  std::string result = fallback;
  bool inSection = false;
  for (const auto& line : ReadLines(path)) {
    std::string name, value;
    if (SectionName(line, name)) {
      inSection = SameName(name, section);
    } else if (inSection && KeyOf(line, key, &value)) {
      result = value;
      break;
    }
  }
  if (result.size() > capacity - 1) result.resize(capacity - 1);
  return result;
}

}  // namespace platform
