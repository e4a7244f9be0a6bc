#pragma once
#include <string>

// Code-page conversions of the system: the active code page (GBK, 936), UTF-8
// and UTF-16. Each returns an owned string; empty input, a failed conversion
// or one that yields nothing gives an empty result. Characters that the
// target lacks become the converter's default character.
namespace platform {

std::u16string AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const std::u16string& wide);
std::u16string Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::u16string& wide);

}  // namespace platform
