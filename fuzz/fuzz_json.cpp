// The JSON reader over a platform reply, and the dotted-path look-ups.
#include <cstdint>
#include <string>

#include "net/Json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CJsonObject object;
  object.Parse(text.c_str());
  object.Get("data");
  CJsonArray array;
  array.Parse(text.c_str());
  for (int i = 0; i < array.GetCount() && i < 8; ++i) array.GetAt(i);
  CJsonScalar scalar;
  scalar.Parse(text.c_str());
  return 0;
}
