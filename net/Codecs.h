#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Text transformations shared by the subsystems. All are pure functions.

// Saved passwords: XOR with the key's last character, then Base64.
std::string ScrambleString(const std::string& text);
// The reverse; the result ends at the first zero byte.
std::string UnscrambleString(const std::string& text);

std::string Base64Encode(const void* bytes, size_t count);
// Decodes whole groups of four; invalid characters enter as garbage bits.
std::string Base64Decode(const std::string& text);

// RFC 1321 message digest; Final() leaves the context ready for a new message.
class CMd5 {
 public:
  CMd5() { Init(); }
  void Init();
  void Update(const void* bytes, size_t count);
  void Final(unsigned char digest[16]);

 private:
  void Transform(const unsigned char block[64]);
  uint32_t m_state[4];
  uint64_t m_nBits;
  unsigned char m_buffer[64];
};

// Lower-case "%02x" per byte with the separator between bytes.
std::string HexString(const void* bytes, size_t count, const std::string& separator);
// 32 lower-case hexadecimal digits of the MD5 digest of a text.
std::string Md5Hex(const std::string& text);

// Conversions between the system code page (GBK) and UTF-8.
std::string AnsiToUtf8(const std::string& text);
std::string Utf8ToAnsi(const std::string& text);

// %XX escapes, each replaced throughout the text; "%%" gives "%".
std::string PercentDecode(const std::string& text);
