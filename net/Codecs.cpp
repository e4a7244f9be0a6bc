#include "net/Codecs.h"

#include <cstring>

#include "platform/CodePage.h"

namespace {

const char kScrambleKey[] = "Kx7Pwn_VRDE";
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const unsigned char kPadMark = 255;
const unsigned char kInvalid = 254;

unsigned char ScrambleByte() { return (unsigned char)kScrambleKey[sizeof kScrambleKey - 2]; }

struct DecodeTable {
  unsigned char value[256];
  DecodeTable() {
    memset(value, kInvalid, sizeof value);
    for (int i = 0; i < 64; ++i) {
      value[(unsigned char)kAlphabet[i]] = (unsigned char)i;
      value[(unsigned char)kAlphabet[i] | 0x80] = (unsigned char)i;
    }
    value['='] = value['=' | 0x80] = kPadMark;
  }
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Replaces every occurrence of a three-byte escape; returns where the one at
// `at` now stands, after the ones before it have shrunk.
size_t ReplaceEscapeEverywhere(std::string& text, size_t at, char to) {
  const std::string escape = text.substr(at, 3);
  size_t current = at;  // where the one at `at` stands while others shrink
  for (size_t i = text.find(escape); i != std::string::npos; i = text.find(escape, i + 1)) {
    if (i < current) current -= 2;
    text.replace(i, escape.size(), 1, to);
  }
  return current;
}

}  // namespace

std::string ScrambleString(const std::string& text) {
  std::string bytes = text;
  for (char& c : bytes) c = (char)((unsigned char)c ^ ScrambleByte());
  return Base64Encode(bytes.data(), bytes.size());
}

std::string UnscrambleString(const std::string& text) {
  std::string bytes = Base64Decode(text);
  for (char& c : bytes) c = (char)((unsigned char)c ^ ScrambleByte());
  return bytes.substr(0, bytes.find('\0'));
}

std::string Base64Encode(const void* data, size_t count) {
  const unsigned char* in = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve((count + 2) / 3 * 4);
  for (size_t i = 0; i < count; i += 3) {
    unsigned v = in[i] << 16;
    if (i + 1 < count) v |= in[i + 1] << 8;
    if (i + 2 < count) v |= in[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < count ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < count ? kAlphabet[v & 63] : '=';
  }
  return out;
}

std::string Base64Decode(const std::string& text) {
  static const DecodeTable table;
  size_t groups = text.size() / 4;
  std::string out(groups * 3, '\0');
  for (size_t g = 0; g < groups; ++g) {
    unsigned char v[4];
    for (int k = 0; k < 4; ++k) v[k] = table.value[(unsigned char)text[g * 4 + k]];
    if (v[2] == kPadMark) v[2] = 0;
    if (v[3] == kPadMark) v[3] = 0;
    out[g * 3] = (char)((v[0] << 2) | ((v[1] >> 4) & 0x03));
    out[g * 3 + 1] = (char)((v[1] << 4) | ((v[2] >> 2) & 0x0F));
    out[g * 3 + 2] = (char)((v[2] << 6) | (v[3] & 0x3F));
  }
  size_t count = out.size();
  if (groups > 0) {
    if (text[groups * 4 - 1] == '=') --count;
    if (text[groups * 4 - 2] == '=') --count;
  }
  out.resize(count);
  return out;
}

std::string HexString(const void* data, size_t count, const std::string& separator) {
  static const char digits[] = "0123456789abcdef";
  const unsigned char* in = static_cast<const unsigned char*>(data);
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) out += separator;
    out += digits[in[i] >> 4];
    out += digits[in[i] & 15];
  }
  return out;
}

std::string Md5Hex(const std::string& text) {
  CMd5 md5;
  unsigned char digest[16];
  md5.Update(text.data(), text.size());
  md5.Final(digest);
  return HexString(digest, sizeof digest, "");
}

std::string AnsiToUtf8(const std::string& text) {
  return platform::WideToUtf8(platform::AnsiToWide(text));
}

std::string Utf8ToAnsi(const std::string& text) {
  return platform::WideToAnsi(platform::Utf8ToWide(text));
}

std::string PercentDecode(const std::string& input) {
  std::string text = input;
  size_t pos = 0;
  while ((pos = text.find('%', pos)) != std::string::npos) {
    if (text.size() - pos < 3) break;
    if (text[pos + 1] == '%') {
      text.erase(pos, 1);
      pos += 1;
      continue;
    }
    int hi = HexDigit(text[pos + 1]), lo = HexDigit(text[pos + 2]);
    if (hi < 0 || lo < 0) {  // not an escape: left as it stands
      pos += 1;
      continue;
    }
    pos = ReplaceEscapeEverywhere(text, pos, (char)(hi * 16 + lo));
  }
  return text;
}
