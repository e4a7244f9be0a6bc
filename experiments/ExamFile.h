#pragma once
#include <cstddef>
#include <string>

// The contract with an experiment program: its command line, the exam file
// the assistant writes before the start and the output it leaves there.

// Password on the command line when the link names none.
inline constexpr char EXPERIMENT_PASSWORD[] = "k3Tq9WxR#mPlz_#d";
// Fixed key that every experiment program of the platform expects after the
// exam file's path.
inline constexpr char EXPERIMENT_KEY[] = "Vm7qR2xK9pLw4TzB8nHc3sYe";
// Stands in for the exam file's path when no exam file was written.
inline constexpr char EXAM_PATH_NONE[] = "a|b";
// Largest data text kept for a retry (the whole output when a run has no
// operation id): an experiment's result is a few bytes of JSON.
inline constexpr size_t EXAM_TEXT_MAX = 4u * 1024u * 1024u;
// Largest exam file read for its score after a run: some experiments leave
// bulky records beside the score, which still counts.
inline constexpr size_t EXAM_OUTPUT_MAX = 32u * 1024u * 1024u;

// What the assistant writes into the exam file's section [velmora], all in
// the system code page except the user name, converted to UTF-8 on writing.
struct ExamFileValues {
  int uid = 0;
  int score = 0;
  std::string extraData;
  std::string userName;
};

// Writes uid, score, isexam, extradata and username in this order; false
// when a key could not be written.
bool WriteExamFile(const std::string& path, const ExamFileValues& values);

// "\"<exe>\" -p<password> -sp\"<exam file or a|b> <key>\"".
std::string BuildExperimentCommandLine(const std::string& exePath, const std::string& password,
                                       const std::string& examPath);

// Only a program is started as an experiment: its extension is exe, in any
// letter case.
bool IsExperimentProgram(const std::string& path);

enum class ExamRead { Done, Unreadable, TooLarge };
// The exam file's text as stored, up to its first zero byte; a file of more
// than `limit` bytes, or of more than the memory to be had, is TooLarge and
// gives no text.
ExamRead ReadExamText(const std::string& path, std::string& text, size_t limit = EXAM_TEXT_MAX);

// The experiment's score: member "score" of the JSON object that begins at
// the first "{", converted like atoi; false (score 0) when there is no "{".
bool ReadExamScore(const std::string& text, int& score);

// The log line of an exam file too large to be read for its result (beyond
// the limit, or beyond the memory to be had).
void LogExamTooLarge(const std::string& path);

// Whether an experiment's password can stand on its command line as one
// argument: no quote, blank or control byte that would end it early.
bool IsSafeExperimentPassword(const std::string& password);
