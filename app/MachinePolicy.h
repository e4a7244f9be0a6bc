#pragma once
#include <string>
#include <vector>

#include "platform/Policy.h"

// What a school's IT presets for every user of the machine. Where nothing is
// set, the program behaves exactly as it does without policy.
struct MachinePolicy {
  std::string server;           // the login dialog's preset server ("host", "host:port",
                                // or either after "https://")
  std::string cdnServer;        // the school's cache server; announcements are then ignored
  bool cdnAnnouncements = true; // false: never learn a cache server from a broadcast
  bool updateCheck = true;      // false: updates are the administrator's
  std::string resourceDir;      // the resource directory while the user has none stored
  bool requireSignedTools = true; // false: tool files without a signature still run (logged)
};

// The names of the policy values, as the administrative templates and the
// installer package write them.
const std::vector<std::string>& MachinePolicyValueNames();

// Reads the policy; a value that is set but unusable is left out and its
// name, with the reason, added to `rejected` for the log.
MachinePolicy ReadMachinePolicy(platform::IPolicyStore& store, std::vector<std::string>& rejected);

// The folder of one account below the policy's resource directory: the
// downloaded-file lists are per account, so a folder shared by all would let
// one account's link delete, or fail to replace, another account's file.
std::string PolicyAccountResourceDir(const std::string& policyDir, const std::string& accountDirName);
// Whether `dir` is the policy's resource directory itself (as an earlier
// version stored it) or the folder of some account below it.
bool IsPolicyResourceDir(const std::string& dir, const std::string& policyDir);
