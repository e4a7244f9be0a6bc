#include "store/WritableDir.h"

#include "platform/Files.h"

bool CanCreateFilesIn(const std::string& dir) {
  if (!platform::IsDirectory(dir)) return false;
  const std::string probe = dir + "\\.velmora-write-test";
  if (platform::FileExists(probe)) return true;
  {
    platform::File file;
    if (!file.Open(probe, platform::FileMode::CreateAlways)) return false;
  }
  platform::DeleteFileAt(probe);
  return true;
}
