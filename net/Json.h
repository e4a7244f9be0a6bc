#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A small read-only JSON reader. It is lenient and position-based: malformed
// members are skipped, string contents are kept exactly as they stand between
// the quotes (escapes are not decoded), and values are fetched by member name
// or dotted path. Input is zero-terminated text in the system code page.

enum {
  JSON_NONE = 0,    // constructed, not parsed
  JSON_STRING = 1,  // a token that starts with a double quote
  JSON_INT = 2,     // any other bare token without "."
  JSON_REAL = 3,    // a bare token with "."
  JSON_BOOL = 4,    // TRUE / FALSE in any case
  JSON_NULL = 5,    // NULL in any case
  JSON_ARRAY = 6,
  JSON_OBJECT = 7,
};

// Objects and arrays nested deeper than this are skipped like a malformed
// member, so a hostile reply cannot exhaust the stack.
constexpr int JSON_MAX_DEPTH = 64;

class CJsonValue {
 public:
  virtual ~CJsonValue() = default;
  // Parses the value that starts at `text`; false only for a null pointer.
  virtual bool Parse(const char* text) = 0;
  int GetType() const { return m_nType; }
  // Bytes the last parse took, closing quote or bracket included.
  int GetLength() const { return m_nLength; }

 protected:
  explicit CJsonValue(int type) : m_nType(type) {}
  int m_nType;
  int m_nLength = 0;
};

class CJsonScalar : public CJsonValue {
 public:
  CJsonScalar() : CJsonValue(JSON_NONE) {}
  bool Parse(const char* text) override;
  const std::string& GetText() const { return m_strText; }
  int64_t GetInt64() const { return m_nValue; }
  double GetReal() const { return m_dValue; }
  bool GetBool() const { return m_bValue; }

 private:
  void ParseString(const char* text);
  void ParseBareToken(const char* text);
  std::string m_strText;
  bool m_bValue = false;
  int64_t m_nValue = 0;
  double m_dValue = 0;
};

class CJsonArray : public CJsonValue {
 public:
  CJsonArray() : CJsonValue(JSON_ARRAY) {}
  bool Parse(const char* text) override { return ParseNested(text, 1); }
  int GetCount() const { return (int)m_arrValues.size(); }
  // Null outside 0..GetCount()-1.
  const CJsonValue* GetAt(int index) const;

 private:
  friend struct JsonNesting;
  bool ParseNested(const char* text, int depth);
  std::vector<std::unique_ptr<CJsonValue>> m_arrValues;
};

class CJsonObject : public CJsonValue {
 public:
  CJsonObject() : CJsonValue(JSON_OBJECT) {}
  bool Parse(const char* text) override { return ParseNested(text, 1); }
  // Null for a null name or an unknown member.
  const CJsonValue* Get(const char* name) const;
  const CJsonValue* Get(const std::string& name) const { return Get(name.c_str()); }
  int GetCount() const { return (int)m_mapMembers.size(); }
  void Clear() { m_mapMembers.clear(); }

 private:
  friend struct JsonNesting;
  bool ParseNested(const char* text, int depth);
  std::map<std::string, std::unique_ptr<CJsonValue>> m_mapMembers;
};

class CJsonDocument {
 public:
  // Parses the whole file; false when it cannot be read, is larger than any
  // file the system expects (64 MiB), or holds no "{".
  bool LoadFile(const std::string& path);
  // False only when the text holds no "{" (the root then keeps what it held).
  bool Parse(const char* text);
  bool Parse(const std::string& text) { return Parse(text.c_str()); }
  // Dotted-path look-up; a part that names a non-object member leaves the
  // look-up in the enclosing object. Null when a part is missing.
  const CJsonValue* Find(const std::string& path) const;
  // The text of the scalar that Find returns; empty otherwise.
  std::string GetString(const std::string& path) const;
  const CJsonObject& GetRoot() const { return m_root; }

 private:
  CJsonObject m_root;
};
