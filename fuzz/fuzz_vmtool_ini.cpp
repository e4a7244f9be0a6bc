// vmtool.ini as the tool server (or anyone between) sends it.
#include "FuzzFiles.h"
#include "tools/UpdateCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ToolInfo info = ReadToolInfo(WriteInput("vmtool.ini", data, size));
  if (info.programDigest.size() > 259 || info.browserDigest.size() > 259) __builtin_trap();
  return 0;
}
