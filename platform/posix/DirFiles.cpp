#include "platform/DirFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include "platform/CodePage.h"
#include "platform/posix/NativePath.h"

namespace platform {

std::vector<std::string> ListFileNames(const std::string& dir) {
  std::vector<std::string> names;
  const std::string native = NativePath(dir);
  DIR* listing = opendir(native.c_str());
  if (!listing) return names;
  while (const dirent* entry = readdir(listing)) {
    struct stat st;
    if (stat((native + "/" + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      names.push_back(WideToAnsi(Utf8ToWide(entry->d_name)));
  }
  closedir(listing);
  return names;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(NativePath(a).c_str(), &first) == 0 && stat(NativePath(b).c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace platform
