#pragma once
#include <string>

// Whether the user can create files in the directory: tried, since rights,
// read-only media and per-machine installs all decide it. The probe is a new
// file of a name of its own each time (beginning with ".", so never a listed
// resource), removed at once: a probe that a scanner holds or that another
// user left behind has no say.
bool CanCreateFilesIn(const std::string& dir);
