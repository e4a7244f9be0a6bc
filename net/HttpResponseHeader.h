#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The parsed header block of one HTTP reply. The transport fills one for
// every socket request; the segmented downloader also reads the length and
// whether the server accepts byte ranges. Fields are read directly.
class CHttpResponseHeader {
 public:
  CHttpResponseHeader() = default;
  virtual ~CHttpResponseHeader() = default;

  // `text` is the header block without its closing empty line. Fails only
  // when the status line lacks its two spaces. Does not clear the record:
  // a second block overwrites the fields it names and extends the lists.
  bool Parse(const char* text);
  // Accept-Ranges says "bytes" (any case).
  bool AcceptsByteRanges() const;

  int GetHeaderCount() const { return (int)m_arrHeaderNames.size(); }
  // The value of the first header of that name (any case), or empty.
  std::string FindHeader(const std::string& name) const;
  int GetCookieCount() const { return (int)m_arrCookieNames.size(); }

  std::string m_strStatus;
  int m_nStatus = 0;
  int64_t m_nRangeStart = 0;
  int64_t m_nRangeEnd = 0;
  int64_t m_nContentLength = -1;  // -1: no Content-Length header
  std::string m_strContentType;
  std::string m_strName;
  std::string m_strFileName;
  std::string m_strDisposition;
  std::string m_strCharset;
  std::string m_strAcceptRanges;
  // Every header line in arrival order, as parallel name and value lists.
  std::vector<std::string> m_arrHeaderNames;
  std::vector<std::string> m_arrHeaderValues;
  // Every name=value pair of Cookie headers.
  std::vector<std::string> m_arrCookieNames;
  std::vector<std::string> m_arrCookieValues;

 private:
  bool ParseStatusLine(const std::string& line);
  void ParseHeaderLine(const std::string& line);
  void ParseRange(const std::string& value);
  void ParseContentType(const std::string& value);
  void ParseContentDisposition(const std::string& value);
  void ParseCookie(const std::string& value);
  void AddHeader(const std::string& name, const std::string& value);
};
