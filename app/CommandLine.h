#pragma once
#include <string>
#include <vector>

// Splits the process's command line at double quotes (a run counts as one),
// trimming each token and dropping the empty ones: token 1 is the program,
// token 2 the URL. A line of the working buffer's size (1024) or more is
// refused whole: false and no tokens.
bool SplitCommandLine(const std::string& line, std::vector<std::string>& tokens);
