#pragma once
#include <string>
#include <vector>

// A browser percent-encodes every non-ASCII byte of a link: a Chinese name
// takes 9 bytes a character where the code page took 2. The line's buffer
// leaves room for that; the link's parts keep their own bounds.
constexpr size_t COMMAND_LINE_LIMIT = 4096;

// Splits the process's command line at double quotes (a run counts as one),
// trimming each token and dropping the empty ones: token 1 is the program,
// token 2 the URL. A line of COMMAND_LINE_LIMIT bytes or more is refused
// whole: false and no tokens.
bool SplitCommandLine(const std::string& line, std::vector<std::string>& tokens);
