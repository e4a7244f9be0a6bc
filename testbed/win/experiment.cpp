// A stand-in simulation experiment. It takes the assistant's command line
//   "<exe>" -p<password> -sp"<exam file> <key>"
// records it (and the exam file it found) in experiment.log beside itself,
// and then does what the exam file's extradata asks:
//   score<N>  writes {"score":N} into the exam file
//   none      leaves the exam file alone
//   delete    deletes the exam file
//   text      writes text without "{"
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  size_t start = text.find(open);
  if (start == std::string::npos) return std::string();
  start += open.size();
  size_t end = text.find(close, start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string ReadKey(const std::string& exam, const char* key) {
  char value[1024] = "";
  GetPrivateProfileStringA("velmora", key, "", value, sizeof value, exam.c_str());
  return value;
}

void Append(const std::string& path, const std::string& text) {
  FILE* log = fopen(path.c_str(), "ab");
  if (!log) return;
  fwrite(text.data(), 1, text.size(), log);
  fclose(log);
}

void WriteWhole(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return;
  fwrite(text.data(), 1, text.size(), file);
  fclose(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string line = GetCommandLineA();
  const std::string password = Between(line, " -p", " -sp\"");
  const std::string pair = Between(line, " -sp\"", "\"");
  const size_t blank = pair.rfind(' ');
  const std::string exam = pair.substr(0, blank);
  const std::string key = blank == std::string::npos ? std::string() : pair.substr(blank + 1);

  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string log = self;
  log = log.substr(0, log.find_last_of('\\') + 1) + "experiment.log";

  const std::string mode = exam == "a|b" ? std::string() : ReadKey(exam, "extradata");
  Append(log, "cmdline=" + line + "\r\npwd=" + password + "\r\nexam=" + exam + "\r\nkey=" + key +
                  "\r\nuid=" + ReadKey(exam, "uid") + "\r\nscore=" + ReadKey(exam, "score") +
                  "\r\nisexam=" + ReadKey(exam, "isexam") + "\r\nusername=" +
                  ReadKey(exam, "username") + "\r\nmode=" + mode + "\r\n");
  Sleep(100);
  if (mode.rfind("score", 0) == 0)
    WriteWhole(exam, "{\"score\":" + mode.substr(5) + ",\"by\":\"stand-in\"}");
  else if (mode == "delete")
    DeleteFileA(exam.c_str());
  else if (mode == "text")
    WriteWhole(exam, "experiment ended without a result");
  return 0;
}
