#pragma once
#include <string>
#include <vector>

#include "tools/ToolContext.h"
#include "tools/ToolSignature.h"

// The publisher's retirements of its keys (RetiredKeys.h) as this user's
// program keeps them: in the data directory, beside vmtool.ini. A stored
// retirement is never undone, so a list replayed from before it cannot
// bring a key back.

// "<data directory>\RetiredToolKeys.txt".
std::string RetiredKeysPath(const ToolContext& context);
// The compiled keys, those retired here marked: what every check trusts.
std::vector<ToolKey> ToolKeysOf(const ToolContext& context);
// Fetches keys.retired and its signature from the tool server and stores
// what a valid list retires. A list that is missing, unsigned, bent or
// signed by a key without the right is only logged.
void RefreshRetiredKeys(const ToolContext& context);
