#pragma once
#include <string>

namespace platform {

// Makes the file `path`, which must not exist yet, and removes it again; on
// Windows the system deletes it as its handle closes, so not even an end of
// the program in between leaves it behind. False when a file of that name
// exists or none can be made there.
bool CreateAndRemoveNewFile(const std::string& path);

}  // namespace platform
