#pragma once
#include <string>

// Byte-string helpers that respect the double-byte characters of the system
// code page (GBK): a trail byte may look like an ASCII letter or a backslash
// and must never be changed on its own.

bool IsGbkLeadByte(unsigned char c);
// 0x40-0x7E and 0x80-0xFE: never '/', ':' or another byte below 0x40 (a "\\"
// can be one).
bool IsGbkTrailByte(unsigned char c);
// A double-byte character starts at `i`: a lead byte and a valid trail byte.
// A lead byte before anything else stands for itself.
bool IsGbkPairAt(const std::string& text, size_t i);
// ASCII letters lower-cased, double-byte characters untouched.
std::string MbcsToLower(const std::string& text);
// Every single-byte `from` replaced by `to`, double-byte characters untouched.
std::string MbcsReplaceChar(const std::string& text, char from, char to);
// Case-insensitive comparison in the double-byte code page.
bool MbcsEqualNoCase(const std::string& a, const std::string& b);
// White space (C locale) removed at both ends.
std::string TrimSpaces(const std::string& text);
// C atoi rules: leading blanks, a sign, leading digits; 0 without digits;
// clamped to the 32-bit range.
int AtoiLike(const std::string& text);
