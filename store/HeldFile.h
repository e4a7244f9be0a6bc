#pragma once

#include <string>

#include "platform/Files.h"

// Data files are opened without sharing, so a file that exists but cannot be
// opened is in another program's hands for a moment: a virus scanner right
// after our write, or another assistant's load or save. The open is tried
// again for about two seconds before the file counts as held.
enum class HeldFileOpen { Opened, Missing, Held };

HeldFileOpen OpenWaitingForHolder(const std::string& path, platform::File& file);
