#include "experiments/ExamFile.h"

#include <cstdio>
#include <new>

#include "app/AppLog.h"
#include "net/Codecs.h"
#include "net/Json.h"
#include "net/MbcsText.h"
#include "platform/Files.h"
#include "platform/Profile.h"

namespace {

const char kExamSection[] = "velmora";

// A line break inside a value would start keys of its own in the exam file.
std::string OneLine(const std::string& value) {
  std::string line = value;
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  return line;
}

}  // namespace

bool WriteExamFile(const std::string& path, const ExamFileValues& values) {
  const std::pair<const char*, std::string> keys[] = {
      {"uid", std::to_string(values.uid)},
      {"score", std::to_string(values.score)},
      {"isexam", "1"},
      {"extradata", OneLine(values.extraData)},
      {"username", AnsiToUtf8(OneLine(values.userName))},
  };
  bool written = true;
  for (const auto& [key, value] : keys)
    written = platform::WriteProfileText(path, kExamSection, key, value) && written;
  return written;
}

std::string BuildExperimentCommandLine(const std::string& exePath, const std::string& password,
                                       const std::string& examPath) {
  return "\"" + exePath + "\" -p" + password + " -sp\"" + examPath + " " + EXPERIMENT_KEY + "\"";
}

bool IsExperimentProgram(const std::string& path) {
  size_t dot = path.find_last_of(".\\/");
  if (dot == std::string::npos || path[dot] != '.') return false;
  return MbcsEqualNoCase(path.substr(dot + 1), "exe");
}

namespace {

// Appends the file's bytes; false when the text grew past `limit` while read.
bool AppendUpTo(platform::File& file, std::string& text, size_t limit) {
  char block[4096];
  size_t got = 0;
  while (file.Read(block, sizeof block, got) && got > 0) {
    text.append(block, got);
    if (text.size() > limit) return false;
  }
  return true;
}

}  // namespace

// The 32-bit program may not find tens of MiB in one piece: output that
// cannot be held counts as too large, instead of ending the program.
ExamRead ReadExamText(const std::string& path, std::string& text, size_t limit) {
  text.clear();
  platform::File file;
  if (!file.Open(path, platform::FileMode::Read)) return ExamRead::Unreadable;
  const int64_t size = file.Size();
  if (size > (int64_t)limit) return ExamRead::TooLarge;
  try {
    text.reserve(size > 0 ? (size_t)size : 0);
    if (!AppendUpTo(file, text, limit)) {
      text.clear();
      return ExamRead::TooLarge;
    }
  } catch (const std::bad_alloc&) {
    std::string().swap(text);
    return ExamRead::TooLarge;
  }
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  return ExamRead::Done;
}

bool ReadExamScore(const std::string& text, int& score) {
  score = 0;
  CJsonDocument output;
  if (!output.Parse(text)) return false;
  score = AtoiLike(output.GetString("score"));
  return true;
}

void LogExamTooLarge(const std::string& path) {
  const int64_t size = platform::FileSizeAt(path);
  if (size >= 0 && size <= (int64_t)EXAM_OUTPUT_MAX) {
    WriteLog(GetLogPath(), "[%s]:实验文件(%lld字节)无法读入内存，按未输出处理：%s\r\n",
             FormatNow().c_str(), (long long)size, path.c_str());
    return;
  }
  WriteLog(GetLogPath(), "[%s]:实验文件超过%u字节，按未输出处理：%s\r\n", FormatNow().c_str(),
           (unsigned)EXAM_OUTPUT_MAX, path.c_str());
}

// The command line is split at blanks and tabs, and a control byte has no
// place in a password a link may carry; GBK's trail bytes are none of these.
bool IsSafeExperimentPassword(const std::string& password) {
  for (unsigned char c : password)
    if (c == '"' || c == ' ' || c < 0x20 || c == 0x7f) return false;
  return true;
}
