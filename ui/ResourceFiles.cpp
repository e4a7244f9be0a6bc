#include "ui/ResourceFiles.h"

#include <vector>

#include "platform/DirFiles.h"
#include "platform/Files.h"
#include "store/FileListStore.h"

namespace {

// The listed names, read whole before anything is changed so that a move
// never meets its own results. An empty directory name would make the system
// list the current drive's root: it has no files of ours.
std::vector<std::string> ListedNames(const CFileListStore& list, const std::string& dir) {
  std::vector<std::string> listed;
  if (dir.empty() || !platform::IsDirectory(dir)) return listed;
  for (std::string& name : platform::ListFileNames(dir))
    if (list.IsListedName(name)) listed.push_back(std::move(name));
  return listed;
}

}  // namespace

int MoveListedFiles(const CFileListStore& list, const std::string& from, const std::string& to) {
  if (to.empty() || !platform::IsDirectory(to)) return 0;
  int done = 0;
  for (const std::string& name : ListedNames(list, from)) {
    const std::string source = from + "\\" + name;
    const std::string target = to + "\\" + name;
    if (!platform::FileExists(target)) {
      if (platform::RenameFile(source, target)) ++done;
    } else if (!platform::IsSameFile(source, target)) {
      // The list's hash describes the file being moved: it replaces the one
      // found there. The new directory may also be the old one under another
      // spelling; then the file found is the file itself and stays.
      if (platform::MoveFileReplacing(source, target)) ++done;
    }
  }
  return done;
}

int DeleteListedFiles(const CFileListStore& list, const std::string& dir) {
  int done = 0;
  for (const std::string& name : ListedNames(list, dir))
    if (platform::DeleteFileAt(dir + "\\" + name)) ++done;
  return done;
}
