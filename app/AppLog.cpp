#include "app/AppLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "net/MbcsText.h"
#include "platform/AppendFile.h"
#include "platform/Environment.h"

std::string GetLogPath() {
  std::string appData = platform::GetEnvironmentValue("APPDATA");
  if (appData.empty()) return {};
  return appData + "\\VelmoraURL.log";
}

std::string FormatNow() {
  time_t now = time(nullptr);
  struct tm local {};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
           local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string CutToCharacters(const std::string& text, size_t limit) {
  size_t end = 0;
  while (end < text.size()) {
    size_t width = IsGbkLeadByte((unsigned char)text[end]) && end + 1 < text.size() ? 2 : 1;
    if (end + width > limit) break;
    end += width;
  }
  return text.substr(0, end);
}

// The text is entered in a buffer one byte longer than an entry, which shows
// whether the last character that fits is whole.
void WriteLog(const std::string& path, const char* format, ...) {
  if (path.empty()) return;
  char buffer[LOG_ENTRY_MAX + 2];
  va_list args;
  va_start(args, format);
  buffer[sizeof buffer - 1] = '\0';
  int n = vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  // Some C libraries report a cut entry as -1: what is in the buffer stands.
  size_t length = n >= 0 && (size_t)n < sizeof buffer ? (size_t)n : strlen(buffer);
  platform::AppendToFile(path, CutToCharacters(std::string(buffer, length), LOG_ENTRY_MAX));
}
