// The URL command of a web page and the codecs it goes through.
#include <cstdint>
#include <string>

#include "app/BrowserLink.h"
#include "app/UrlCommand.h"
#include "net/Codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CUrlCommand command;
  ParseUrl(text, command);
  CUrlCommand fromBrowser;
  ParseUrl(NormaliseUrl(CanonicalLink(text)), fromBrowser);
  NormaliseUrl(text);
  PercentDecode(text);
  IsUtf8Text(text);
  Utf8ToAnsi(text);
  AnsiToUtf8(text);
  UnscrambleString(text);
  Base64Decode(text);
  return 0;
}
