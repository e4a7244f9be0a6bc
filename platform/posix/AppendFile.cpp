#include "platform/AppendFile.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/NativePath.h"

namespace platform {

bool AppendToFile(const std::string& path, const std::string& bytes) {
  std::string native = NativePath(path);
  int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool written = write(fd, bytes.data(), bytes.size()) == (ssize_t)bytes.size();
  close(fd);
  return written;
}

}  // namespace platform
