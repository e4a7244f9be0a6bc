#include "platform/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/NativePath.h"

namespace platform {

bool CreateAndRemoveNewFile(const std::string& path) {
  const std::string native = NativePath(path);
  int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  close(fd);
  unlink(native.c_str());
  return true;
}

}  // namespace platform
