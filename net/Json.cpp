#include "net/Json.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/MbcsText.h"

namespace {

// The text is in the system code page: the second byte of a double-byte
// character may be "\\", "]" or "}" and must not be read as one, or a name
// that ends in such a character would swallow the rest of the document.
int CharWidth(const char* p) {
  unsigned char trail = (unsigned char)p[1];
  bool pair = IsGbkLeadByte((unsigned char)*p) && trail >= 0x40 && trail != 0x7F && trail != 0xFF;
  return pair ? 2 : 1;
}

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

const char* SkipSpace(const char* p) {
  while (IsJsonSpace(*p)) ++p;
  return p;
}

bool EqualsNoCase(const std::string& text, const char* word) {
  size_t n = std::strlen(word);
  if (text.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    if (c != word[i]) return false;
  }
  return true;
}

// Consumed lengths are 32-bit; texts beyond that are not something the
// system reads, but must not wrap into a negative length.
int ClampLength(const char* begin, const char* end) {
  ptrdiff_t n = end - begin;
  return n > 0x7FFFFFFF ? 0x7FFFFFFF : (int)n;
}

// Steps over a nested value without building it: brackets are counted
// (strings respected) until the value closes or the text ends.
const char* SkipNested(const char* p) {
  size_t open = 0;
  while (*p) {
    if (*p == '"') {
      for (++p; *p && *p != '"'; p += CharWidth(p))
        if (*p == '\\' && p[1]) ++p;
      if (!*p) return p;
    } else if (*p == '{' || *p == '[') {
      ++open;
    } else if ((*p == '}' || *p == ']') && --open == 0) {
      return p + 1;
    }
    p += CharWidth(p);
  }
  return p;
}

// Parses the member or element value at `p` and returns it, or null when it
// is nested too deeply; `p` is moved past what the value took.
std::unique_ptr<CJsonValue> ParseValue(const char*& p, int depth);

}  // namespace

// Objects and arrays need each other's nested parse; they meet here.
struct JsonNesting {
  static std::unique_ptr<CJsonValue> Parse(const char*& p, int depth) {
    if ((*p == '{' || *p == '[') && depth >= JSON_MAX_DEPTH) {
      p = SkipNested(p);
      return nullptr;
    }
    if (*p == '{') {
      auto object = std::make_unique<CJsonObject>();
      object->ParseNested(p, depth + 1);
      p += object->GetLength();
      return object;
    }
    if (*p == '[') {
      auto array = std::make_unique<CJsonArray>();
      array->ParseNested(p, depth + 1);
      p += array->GetLength();
      return array;
    }
    auto scalar = std::make_unique<CJsonScalar>();
    scalar->Parse(p);
    p += scalar->GetLength();
    return scalar;
  }
};

namespace {
std::unique_ptr<CJsonValue> ParseValue(const char*& p, int depth) {
  return JsonNesting::Parse(p, depth);
}
}  // namespace

bool CJsonScalar::Parse(const char* text) {
  if (!text) return false;
  m_strText.clear();
  m_bValue = false;
  m_nValue = 0;
  m_dValue = 0;
  if (*text == '"')
    ParseString(text);
  else
    ParseBareToken(text);
  return true;
}

void CJsonScalar::ParseString(const char* text) {
  const char* p = text + 1;
  while (*p && *p != '"') {
    if (*p == '\\' && !*++p) break;
    p += CharWidth(p);
  }
  m_nType = JSON_STRING;
  m_strText.assign(text + 1, p);
  m_nLength = ClampLength(text, *p ? p + 1 : p);
}

void CJsonScalar::ParseBareToken(const char* text) {
  const char* p = text;
  while (*p && *p != ',' && *p != '}' && *p != ']') {
    int width = CharWidth(p);
    if (!IsJsonSpace(*p)) m_strText.append(p, width);
    p += width;
  }
  m_nLength = ClampLength(text, p);
  if (EqualsNoCase(m_strText, "TRUE") || EqualsNoCase(m_strText, "FALSE")) {
    m_nType = JSON_BOOL;
    m_bValue = EqualsNoCase(m_strText, "TRUE");
  } else if (EqualsNoCase(m_strText, "NULL")) {
    m_nType = JSON_NULL;
  } else if (m_strText.find('.') != std::string::npos) {
    m_nType = JSON_REAL;
    m_dValue = std::strtod(m_strText.c_str(), nullptr);
  } else {
    m_nType = JSON_INT;
    m_nValue = std::strtoll(m_strText.c_str(), nullptr, 10);
  }
}

bool CJsonArray::ParseNested(const char* text, int depth) {
  if (!text) return false;
  m_arrValues.clear();
  const char* p = *text ? text + 1 : text;
  while (*p && *p != ']') {
    p = SkipSpace(p);
    // A "}" where an element should stand ends the array (left for the
    // enclosing object), and so does a pass that takes nothing.
    if (*p == ']' || *p == '}' || !*p) break;
    const char* before = p;
    std::unique_ptr<CJsonValue> value = ParseValue(p, depth);
    if (value) m_arrValues.push_back(std::move(value));
    p = SkipSpace(p);
    if (*p == ',') ++p;
    if (p == before) break;
  }
  if (*p == ']') ++p;
  m_nLength = ClampLength(text, p);
  return true;
}

const CJsonValue* CJsonArray::GetAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_arrValues[index].get();
}

bool CJsonObject::ParseNested(const char* text, int depth) {
  if (!text) return false;
  m_mapMembers.clear();
  const char* p = *text ? text + 1 : text;
  while (*p && *p != '}') {
    p = SkipSpace(p);
    if (*p == '}' || !*p) break;
    CJsonScalar name;
    name.Parse(p);
    p += name.GetLength();
    if (name.GetType() != JSON_STRING) {
      if (*p) ++p;  // the byte that ended the bare token
      continue;
    }
    p = SkipSpace(p);
    if (*p != ':') continue;
    p = SkipSpace(p + 1);
    std::unique_ptr<CJsonValue> value = ParseValue(p, depth);
    if (value) m_mapMembers[name.GetText()] = std::move(value);
    p = SkipSpace(p);
    if (*p == ',') ++p;
  }
  if (*p == '}') ++p;
  m_nLength = ClampLength(text, p);
  return true;
}

const CJsonValue* CJsonObject::Get(const char* name) const {
  if (!name) return nullptr;
  auto it = m_mapMembers.find(name);
  return it == m_mapMembers.end() ? nullptr : it->second.get();
}

bool CJsonDocument::Parse(const char* text) {
  if (!text) return false;
  const char* brace = std::strchr(text, '{');
  if (!brace) return false;
  m_root.Clear();
  m_root.Parse(brace);
  return true;
}

bool CJsonDocument::LoadFile(const std::string& path) {
  constexpr long MAX_FILE = 64L * 1024 * 1024;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::string text;
  char block[16384];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0 && (long)text.size() <= MAX_FILE)
    text.append(block, got);
  std::fclose(file);
  if ((long)text.size() > MAX_FILE) return false;
  return Parse(text.c_str());
}

const CJsonValue* CJsonDocument::Find(const std::string& path) const {
  const CJsonObject* current = &m_root;
  const CJsonValue* found = nullptr;
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find('.', begin);
    if (end == std::string::npos) end = path.size();
    if (end > begin) {
      found = current->Get(path.substr(begin, end - begin));
      if (!found) return nullptr;
      if (found->GetType() == JSON_OBJECT) current = static_cast<const CJsonObject*>(found);
    }
    begin = end + 1;
  }
  return found;
}

std::string CJsonDocument::GetString(const std::string& path) const {
  const CJsonValue* value = Find(path);
  if (!value || value->GetType() == JSON_ARRAY || value->GetType() == JSON_OBJECT) return {};
  return static_cast<const CJsonScalar*>(value)->GetText();
}
