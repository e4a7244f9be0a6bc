#pragma once
#include <string>

// The process's environment and the user's well-known folders, in the system
// code page.
namespace platform {

// The value of an environment variable; empty when it is not set.
std::string GetEnvironmentValue(const std::string& name);
// The shell's per-user application-data folder; empty when there is none.
std::string UserAppDataFolder();

}  // namespace platform
