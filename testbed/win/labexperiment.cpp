// A stand-in simulation experiment with a window, for the demo: it takes the
// assistant's command line "<exe>" -p<password> -sp"<exam file> <key>",
// shows the run as a box until the student closes it, and then writes the
// score that the exam file's extradata names ("score<N>") as the experiment's
// result into the exam file.
#include <windows.h>

#include <string>

namespace {

std::string ExamFileOf(const std::string& line) {
  const std::string open = " -sp\"";
  size_t start = line.find(open);
  if (start == std::string::npos) return std::string();
  start += open.size();
  std::string pair = line.substr(start, line.find('"', start) - start);
  return pair.substr(0, pair.rfind(' '));
}

std::string ScoreOf(const std::string& exam) {
  char value[256] = "";
  GetPrivateProfileStringA("velmora", "extradata", "", value, sizeof value, exam.c_str());
  std::string mode = value;
  return mode.rfind("score", 0) == 0 ? mode.substr(5) : std::string();
}

void WriteResult(const std::string& exam, const std::string& score) {
  HANDLE file = CreateFileA(exam.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = "{\"score\":" + score + ",\"by\":\"lab stand-in\"}";
  DWORD written = 0;
  WriteFile(file, text.data(), (DWORD)text.size(), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string exam = ExamFileOf(GetCommandLineA());
  const std::string score = exam.empty() ? std::string() : ScoreOf(exam);
  const std::string text = "小球自由落体：下落 1.00 m，用时 0.452 s。\n测得重力加速度 g = 9.79 m/s^2。\n\n本次实验得分：" +
                           (score.empty() ? std::string("无") : score) + "\n\n点击“确定”结束实验并提交成绩。";
  MessageBoxA(nullptr, text.c_str(), "自由落体仿真实验", MB_OK | MB_ICONINFORMATION);
  if (!score.empty()) WriteResult(exam, score);
  return 0;
}
