#pragma once
#include <string>

#include "tools/ToolContext.h"

// The update check against the tool server's description file vmtool.ini.

// MD5 of all bytes of a file as 32 lower-case hexadecimal digits; empty for a
// file that cannot be opened or read.
std::string FileDigest(const std::string& path);
// Whether a file's digest is the published one, which the tool server may
// write in either letter case. An empty digest matches nothing.
bool MatchesPublishedDigest(const std::string& fileDigest, const std::string& published);
// The three values of a local vmtool.ini, each cut to 259 bytes; the defaults
// for missing keys (and for a missing file).
ToolInfo ReadToolInfo(const std::string& iniPath);
// The executable's directory up to and including its last "\" (empty if none).
std::string ProgramDirectory(const std::string& programPath);

// Fetches vmtool.ini afresh into the data directory and reads it into
// context.info; false (and the values cleared) when it cannot be fetched.
bool FetchToolInfo(const ToolContext& context);
// False when the program must end now (a mandatory update was declined).
// `found` tells whether an update exists, whatever the user answered.
bool CheckForUpdate(const ToolContext& context, bool& found);
// Fetches the upgrader (when missing) and the new executable, checks the
// executable against the published digest, places it in the temporary
// directory and starts the upgrader with the quoted program directory.
bool RunUpgrade(const ToolContext& context, const std::string& programDir);
