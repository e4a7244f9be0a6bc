#include "RefPlatform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "net/Codecs.h"

namespace {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

}  // namespace

const RefPlatform& RefPlatform::Get() {
  static const RefPlatform platform(VELMORA_REFPLATFORM_DIR);
  return platform;
}

const RefPlatform& RefPlatform::Tls() {
  static const RefPlatform platform(VELMORA_REFPLATFORM_TLS_DIR);
  return platform;
}

RefPlatform::RefPlatform(const std::string& stateDir) {
  std::string ready = ReadWholeFile(HostPath(stateDir + "/ready"));
  for (const std::string& line : SplitLines(ready)) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key.size() > 5 && key.compare(key.size() - 5, 5, "_port") == 0)
      m_ports[key.substr(0, key.size() - 5)] = std::atoi(value.c_str());
    else if (key == "record_dir")
      m_strRecordDir = HostPath(value);
    else if (key == "faults_file")
      m_strFaultsFile = HostPath(value);
    else if (key == "tls_ca")
      m_strTlsCa = HostPath(value);
  }
}

std::string RefPlatform::HostPath(const std::string& path) {
#ifdef _WIN32
  // Wine shows the Linux file system as drive Z:.
  if (!path.empty() && path[0] == '/') return "Z:" + path;
#endif
  return path;
}

int RefPlatform::Port(const std::string& server) const {
  auto found = m_ports.find(server);
  return found == m_ports.end() ? 0 : found->second;
}

void RefPlatform::SetFaults(const std::string& json) const {
  // Written beside and renamed over, so the platform never reads half a file.
  std::string temporary = m_strFaultsFile + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << AnsiToUtf8(json);
  }
  std::error_code error;
  std::filesystem::rename(temporary, m_strFaultsFile, error);
}

std::vector<std::vector<std::string>> RefPlatform::ReadIndex() const {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : SplitLines(ReadWholeFile(m_strRecordDir + "/index.tsv"))) {
    std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() == 6) rows.push_back(fields);
  }
  return rows;
}

int RefPlatform::RequestCount() const { return static_cast<int>(ReadIndex().size()); }

std::string RefPlatform::LastRequest(const std::string& server) const {
  std::vector<std::vector<std::string>> rows = ReadIndex();
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    if ((*row)[1] == server) return ReadWholeFile(m_strRecordDir + "/" + (*row)[5]);
  }
  return {};
}
