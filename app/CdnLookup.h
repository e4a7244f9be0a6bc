#pragma once
#include <cstdint>
#include <string>

// Asks a CDN server of the local network (host:port as stored in the shared
// block) whether it holds the file `fid`: its "command/find.do" page. True
// with the file's path on that server and its size (0 when not told) when
// it does. A path that would lead anywhere but that server (not beginning
// with "/", or holding a blank, control byte or quote) counts as not held.
bool CdnFindFile(const std::string& cdnServer, const std::string& fid, std::string& path,
                 int64_t& size);
