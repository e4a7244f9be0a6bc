#pragma once
#include <string>

// Today's browsers refuse "velmoraurl://res:..." (they read "res:fid=..." as
// a host with a port that is not a number), so pages write the command as
// "velmoraurl://res?&...", "velmoraurl://res/?...", "velmoraurl://res/:..." or
// "velmoraurl:res:..." (likewise "?" and "/" for file and exe), and the
// browser percent-encodes what the page wrote literally. This turns such a
// link into the program's own "velmoraurl://<command>:..." form with the same
// meaning; any other text, the program's own form included, comes back as it
// was.
std::string CanonicalLink(const std::string& url);
