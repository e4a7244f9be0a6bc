#include "app/CommandLine.h"

#include "net/MbcsText.h"

bool SplitCommandLine(const std::string& line, std::vector<std::string>& tokens) {
  tokens.clear();
  if (line.size() >= COMMAND_LINE_LIMIT) return false;
  size_t start = 0;
  while (start <= line.size()) {
    size_t end = line.find('"', start);
    if (end == std::string::npos) end = line.size();
    std::string token = TrimSpaces(line.substr(start, end - start));
    if (!token.empty()) tokens.push_back(token);
    start = end + 1;
  }
  return true;
}
