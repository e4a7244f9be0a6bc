// "<file>.sig" and the list of retired keys from the tool server, which
// anyone on the network may answer for: parsed and checked against the
// compiled-in keys.
#include <cstdint>
#include <string>

#include "tools/RetiredKeys.h"
#include "tools/ToolSignature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ToolSignature signature;
  ParseToolSignature(text, signature);
  CheckToolSignature(text, "VelmoraURL.exe", "MZ", "1.0.0.1", TrustedToolKeys());
  std::vector<std::string> ids;
  ParseRetiredKeyList(text, ids);
  JudgeRetiredKeyList(text, text, TrustedToolKeys());
  return 0;
}
