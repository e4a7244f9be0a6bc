// A reply's header block, as the client hands it over.
#include <cstdint>
#include <string>

#include "net/HttpResponseHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CHttpResponseHeader header;
  if (header.Parse(text.c_str())) {
    header.AcceptsByteRanges();
    header.FindHeader("Content-Range");
  }
  return 0;
}
