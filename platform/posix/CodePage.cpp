#include "platform/CodePage.h"

#include <errno.h>
#include <iconv.h>

namespace platform {
namespace {

// Converts with iconv; an input sequence that cannot be converted becomes '?'
// (one input unit skipped), as the Windows converters put their default
// character.
std::string Convert(const char* to, const char* from, const std::string& in, size_t unit) {
  if (in.empty()) return {};
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return {};
  const std::string replacement =
      std::string(to) == "UTF-16LE" ? std::string("?\0", 2) : std::string("?");
  std::string out;
  char buffer[4096];
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  while (left > 0) {
    char* dst = buffer;
    size_t room = sizeof buffer;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buffer, dst - buffer);
    if (r == (size_t)-1 && errno != E2BIG) {
      out += replacement;
      size_t skip = left < unit ? left : unit;
      src += skip;
      left -= skip;
    }
  }
  iconv_close(cd);
  return out;
}

std::u16string BytesToWide(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = (char16_t)((unsigned char)bytes[2 * i] | ((unsigned char)bytes[2 * i + 1] << 8));
  return out;
}

std::string WideToBytes(const std::u16string& wide) {
  std::string out;
  out.reserve(wide.size() * 2);
  for (char16_t c : wide) {
    out += (char)(c & 0xFF);
    out += (char)(c >> 8);
  }
  return out;
}

}  // namespace

std::u16string AnsiToWide(const std::string& ansi) {
  return BytesToWide(Convert("UTF-16LE", "GBK", ansi, 1));
}
std::string WideToAnsi(const std::u16string& wide) {
  return Convert("GBK", "UTF-16LE", WideToBytes(wide), 2);
}
std::u16string Utf8ToWide(const std::string& utf8) {
  return BytesToWide(Convert("UTF-16LE", "UTF-8", utf8, 1));
}
std::string WideToUtf8(const std::u16string& wide) {
  return Convert("UTF-8", "UTF-16LE", WideToBytes(wide), 2);
}

}  // namespace platform
