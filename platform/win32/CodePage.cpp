#include "platform/CodePage.h"

#include <windows.h>

namespace platform {
namespace {

std::u16string ToWide(UINT codePage, const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(n, u'\0');
  MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), (wchar_t*)out.data(), n);
  return out;
}

std::string FromWide(UINT codePage, const std::u16string& text) {
  if (text.empty()) return {};
  const wchar_t* src = (const wchar_t*)text.data();
  int n = WideCharToMultiByte(codePage, 0, src, (int)text.size(), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(n, '\0');
  WideCharToMultiByte(codePage, 0, src, (int)text.size(), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::u16string AnsiToWide(const std::string& ansi) { return ToWide(CP_ACP, ansi); }
std::string WideToAnsi(const std::u16string& wide) { return FromWide(CP_ACP, wide); }
std::u16string Utf8ToWide(const std::string& utf8) { return ToWide(CP_UTF8, utf8); }
std::string WideToUtf8(const std::u16string& wide) { return FromWide(CP_UTF8, wide); }

}  // namespace platform
