#pragma once

namespace platform {

// Ends one StartupSocketLibrary() of the process (nothing where there is
// nothing to end).
void CleanupSocketLibrary();

}  // namespace platform
