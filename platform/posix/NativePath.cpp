#include "platform/posix/NativePath.h"

#include "text/MbcsText.h"
#include "platform/CodePage.h"

namespace platform {

std::string NativePath(const std::string& path) {
  return WideToUtf8(AnsiToWide(MbcsReplaceChar(path, '\\', '/')));
}

}  // namespace platform
