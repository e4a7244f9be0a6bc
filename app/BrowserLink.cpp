#include "app/BrowserLink.h"

#include <cstring>

#include "app/UrlCommand.h"
#include "net/Codecs.h"
#include "net/MbcsText.h"

// How escapes are decoded, exactly once. A browser percent-encodes, in the
// link's query or path, the blank, " ' < > \ ^ ` { | } and every byte above
// 0x7F (non-ASCII text as UTF-8); it never encodes '%' itself. So an escape
// of one of those characters is the browser's, and every other escape (%25,
// %26, %3D, %00 ...) was written by the page and keeps the meaning the
// program's own form gives it.
// - Parameters of a resource command other than fname are read literally:
//   the browser's escapes are decoded here, and text that was UTF-8 becomes
//   the code page's, as the program does for fname.
// - fname and the arguments of file and exe are percent-decoded by the
//   command's own parsing: their escapes are left to that one decoding,
//   except those of " \ and ', which the program's own form changes before
//   it decodes (quotes removed, '\' turned into '/', apostrophes removed from
//   the parameters and the file's path, separators of the exe's parts).
namespace {

const char kScheme[] = "velmoraurl:";
const size_t kSchemeLength = sizeof kScheme - 1;
const char* const kCommands[] = {"res", "file", "exe"};  // the order the parser tests them

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool BrowserEscapes(unsigned char c, bool everything) {
  if (c == '"' || c == '\\' || c == '\'') return true;
  return everything && (c >= 0x80 || (c != 0 && std::strchr(" <>^`{|}", c) != nullptr));
}

// Decodes the escapes of characters that BrowserEscapes names; `nonAscii` is
// set when a byte above 0x7F came out of one.
std::string DecodeBrowserEscapes(const std::string& text, bool everything, bool& nonAscii) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    int hi = i + 2 < text.size() && text[i] == '%' ? HexValue(text[i + 1]) : -1;
    int lo = hi >= 0 ? HexValue(text[i + 2]) : -1;
    unsigned char c = static_cast<unsigned char>(hi * 16 + lo);
    if (lo >= 0 && BrowserEscapes(c, everything)) {
      out += static_cast<char>(c);
      nonAscii = nonAscii || c >= 0x80;
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string DecodeLiteralPart(const std::string& part) {
  bool nonAscii = false;
  std::string decoded = DecodeBrowserEscapes(part, true, nonAscii);
  return nonAscii && IsUtf8Text(decoded) ? Utf8ToAnsi(decoded) : decoded;
}

bool IsFnamePart(const std::string& part) {
  std::string key = part.substr(0, part.find('='));
  std::erase(key, '\'');
  return MbcsToLower(TrimSpaces(key)) == "fname";
}

std::string DecodeResourceParams(const std::string& params) {
  std::string out;
  size_t start = 0;
  while (true) {
    size_t end = params.find('&', start);
    std::string part = params.substr(start, end == std::string::npos ? end : end - start);
    bool unused = false;
    out += IsFnamePart(part) ? DecodeBrowserEscapes(part, false, unused) : DecodeLiteralPart(part);
    if (end == std::string::npos) return out;
    out += '&';
    start = end + 1;
  }
}

// Length of the separator after the command word: ":" or "?", with a "/"
// before it, and "?:" (which older copies of the program read as the file
// and exe forms); 0 when none of them follows.
size_t SeparatorLength(const std::string& rest) {
  size_t slash = rest.compare(0, 1, "/") == 0 ? 1 : 0;
  if (rest.compare(slash, 2, "?:") == 0) return slash + 2;
  if (rest.size() > slash && (rest[slash] == ':' || rest[slash] == '?')) return slash + 1;
  return 0;
}

}  // namespace

std::string CanonicalLink(const std::string& link) {
  // Quotes never mean anything in a link: the command line may still hold them.
  std::string url = link;
  std::erase(url, '"');
  const std::string lower = MbcsToLower(url);
  if (lower.compare(0, kSchemeLength, kScheme) != 0) return link;
  const bool slashes = lower.compare(kSchemeLength, 2, "//") == 0;
  const size_t word = kSchemeLength + (slashes ? 2 : 0);
  for (const char* command : kCommands) {
    const size_t length = std::strlen(command);
    if (lower.compare(word, length, command) != 0) continue;
    const std::string rest = url.substr(word + length);
    const size_t separator = SeparatorLength(rest);
    // The program's own form, and a command word followed by anything else,
    // keep the meaning they always had.
    if (separator == 0 || (slashes && rest[0] == ':')) return link;
    std::string argument = rest.substr(separator);
    bool unused = false;
    argument = std::strcmp(command, "res") == 0 ? DecodeResourceParams(argument)
                                                : DecodeBrowserEscapes(argument, false, unused);
    return "velmoraurl://" + url.substr(word, length) + ":" + argument;
  }
  return link;
}
