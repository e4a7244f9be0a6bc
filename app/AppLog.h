#pragma once
#include <cstddef>
#include <string>

// The program's log: VelmoraURL.log in the APPDATA directory, appended to by
// every process; no levels, no rotation. Entries use formats that begin with
// "[%s]:" (the time) and end with "\r\n".

// Longest entry: what does not fit is cut, the rest is still written.
inline constexpr size_t LOG_ENTRY_MAX = 4095;

// The log file's path; empty when APPDATA is not set, so that no log is
// written outside the user's profile.
std::string GetLogPath();
// Local time as "%04d-%02d-%02d %02d:%02d:%02d".
std::string FormatNow();
// Text cut to at most `limit` bytes without splitting a double-byte character.
std::string CutToCharacters(const std::string& text, size_t limit);
// Formats one entry (at most LOG_ENTRY_MAX bytes) and appends it to the file
// at `path`; an empty path or a file that cannot be opened is skipped.
void WriteLog(const std::string& path, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
