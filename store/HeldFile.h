#pragma once

#include <set>
#include <string>

#include "platform/Files.h"

// Data files are read with shared read access, so the assistant's own loads
// never exclude each other; a file that is held all the same is in another
// program's hands for a moment: a virus scanner right after our write, or
// another assistant's save. Only that is waited for (about two seconds) before
// the file counts as held. Missing stands for every file that cannot be read
// for another reason (none, a directory, one the user may not open), found at
// once: waiting would not change it.
enum class HeldFileOpen { Opened, Missing, Held };

HeldFileOpen OpenWaitingForHolder(const std::string& path, platform::File& file);

// The data files of one store whose last load found them held. What the store
// holds for such a file is not what the file holds, so a save over it could
// put older data over what the holder wrote; it is refused until a later load
// gets through.
class CHeldFiles {
 public:
  void NoteLoad(const std::string& path, bool held);
  // False, with a line in the log, for a file whose last load found it held.
  bool MaySaveOver(const std::string& path) const;

 private:
  std::set<std::string> m_held;
};
