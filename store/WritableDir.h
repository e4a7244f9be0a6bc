#pragma once
#include <string>

// Whether the user can create files in the directory: tried, since rights,
// read-only media and per-machine installs all decide it. The probe's name
// begins with "." and so is never a listed resource; an existing file of
// that name is left alone, only opened for writing.
bool CanCreateFilesIn(const std::string& dir);
