#include "store/WritableDir.h"

#include "platform/Files.h"

bool CanCreateFilesIn(const std::string& dir) {
  if (!platform::IsDirectory(dir)) return false;
  const std::string probe = dir + "\\.velmora-write-test";
  platform::File file;
  // A probe left by an earlier run (of an administrator, say) proves
  // nothing about this user: whether it can be written again does.
  if (platform::FileExists(probe)) return file.Open(probe, platform::FileMode::SharedWrite);
  if (!file.Open(probe, platform::FileMode::CreateAlways)) return false;
  file.Close();
  platform::DeleteFileAt(probe);
  return true;
}
