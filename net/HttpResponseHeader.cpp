#include "net/HttpResponseHeader.h"

#include <cstdlib>
#include <cstring>

#include "net/MbcsText.h"

namespace {

// C strtoll rules on a text: leading blanks, a sign, digits; 0 without
// digits; clamped at the 64-bit range instead of overflowing.
int64_t ParseInt64(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

std::string TrimRight(const std::string& text) {
  std::string trimmed = TrimSpaces("x" + text);
  return trimmed.substr(1);
}

std::string TrimLeft(const std::string& text) {
  std::string trimmed = TrimSpaces(text + "x");
  return trimmed.substr(0, trimmed.size() - 1);
}

std::string WithoutQuotes(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '"') out += c;
  return out;
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t begin = 0;
  for (;;) {
    size_t end = text.find(separator, begin);
    parts.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
    if (end == std::string::npos) return parts;
    begin = end + 1;
  }
}

// Splits a "key=value" part: key trimmed on the right, value on the left.
void SplitPair(const std::string& part, size_t equals, std::string& key, std::string& value) {
  key = TrimRight(part.substr(0, equals));
  value = TrimLeft(part.substr(equals + 1));
}

// The value of a header split at ";": the bare part (the last of several)
// and the parameters, each handed to `onParameter(key, value)`.
template <typename OnParameter>
void ParseParameters(const std::string& value, std::string& bare, OnParameter onParameter) {
  for (const std::string& raw : SplitAt(value, ';')) {
    std::string part = TrimSpaces(raw);
    if (part.empty()) continue;
    size_t equals = part.find('=');
    if (equals == std::string::npos) {
      bare = part;
      continue;
    }
    std::string key, parameter;
    SplitPair(part, equals, key, parameter);
    onParameter(key, parameter);
  }
}

}  // namespace

bool CHttpResponseHeader::Parse(const char* text) {
  if (!text) return false;
  std::vector<std::string> lines;
  const char* line = text;
  for (;;) {
    const char* end = std::strstr(line, "\r\n");
    if (!end) {
      lines.emplace_back(line);
      break;
    }
    lines.emplace_back(line, end - line);
    line = end + 2;
  }
  if (!ParseStatusLine(lines[0])) return false;
  for (size_t i = 1; i < lines.size() && !lines[i].empty(); ++i) ParseHeaderLine(lines[i]);
  return true;
}

bool CHttpResponseHeader::ParseStatusLine(const std::string& line) {
  size_t first = line.find(' ');
  if (first == std::string::npos) return false;
  size_t second = line.find(' ', first + 1);
  if (second == std::string::npos) return false;
  m_strStatus = TrimSpaces(line.substr(first + 1, second - first - 1));
  m_nStatus = AtoiLike(m_strStatus);
  return true;
}

void CHttpResponseHeader::ParseHeaderLine(const std::string& line) {
  size_t colon = line.find(':');
  if (colon == std::string::npos) return;
  std::string name = TrimSpaces(line.substr(0, colon));
  std::string value = TrimSpaces(line.substr(colon + 1));
  if (MbcsEqualNoCase(name, "Range"))
    ParseRange(value);
  else if (MbcsEqualNoCase(name, "Accept-Ranges"))
    m_strAcceptRanges = value;
  else if (MbcsEqualNoCase(name, "Content-Type"))
    ParseContentType(value);
  else if (MbcsEqualNoCase(name, "Content-Length"))
    m_nContentLength = ParseInt64(value);
  else if (MbcsEqualNoCase(name, "Cookie"))
    ParseCookie(value);
  else if (MbcsEqualNoCase(name, "Content-Disposition"))
    ParseContentDisposition(value);
  AddHeader(name, value);
}

void CHttpResponseHeader::ParseRange(const std::string& value) {
  size_t equals = value.find('=');
  if (equals == std::string::npos || equals == 0) return;
  std::string range = value.substr(equals + 1);
  size_t dash = range.find('-');
  if (dash == std::string::npos || dash == 0) return;
  m_nRangeStart = ParseInt64(range.substr(0, dash));
  m_nRangeEnd = ParseInt64(range.substr(dash + 1));
}

void CHttpResponseHeader::ParseContentType(const std::string& value) {
  ParseParameters(value, m_strContentType, [&](const std::string& key, const std::string& v) {
    if (MbcsEqualNoCase(key, "charset")) m_strCharset = WithoutQuotes(v);
  });
}

void CHttpResponseHeader::ParseContentDisposition(const std::string& value) {
  ParseParameters(value, m_strDisposition, [&](const std::string& key, const std::string& v) {
    if (MbcsEqualNoCase(key, "name"))
      m_strName = WithoutQuotes(v);
    else if (MbcsEqualNoCase(key, "filename"))
      m_strFileName = WithoutQuotes(v);
  });
}

void CHttpResponseHeader::ParseCookie(const std::string& value) {
  for (const std::string& raw : SplitAt(value, ';')) {
    std::string part = TrimSpaces(raw);
    if (part.empty()) continue;
    std::string name, cookie = part;
    size_t equals = part.find('=');
    if (equals != std::string::npos) SplitPair(part, equals, name, cookie);
    m_arrCookieNames.push_back(name);
    m_arrCookieValues.push_back(cookie);
  }
}

void CHttpResponseHeader::AddHeader(const std::string& name, const std::string& value) {
  m_arrHeaderNames.push_back(name);
  m_arrHeaderValues.push_back(value);
}

bool CHttpResponseHeader::AcceptsByteRanges() const {
  return MbcsEqualNoCase(m_strAcceptRanges, "bytes");
}

std::string CHttpResponseHeader::FindHeader(const std::string& name) const {
  for (size_t i = 0; i < m_arrHeaderNames.size(); ++i)
    if (MbcsEqualNoCase(m_arrHeaderNames[i], name)) return m_arrHeaderValues[i];
  return {};
}
