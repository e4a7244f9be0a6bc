#include "net/Json.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const CJsonScalar* Scalar(const CJsonDocument& doc, const char* path) {
  const CJsonValue* value = doc.Find(path);
  if (!value || value->GetType() == JSON_ARRAY || value->GetType() == JSON_OBJECT) return nullptr;
  return static_cast<const CJsonScalar*>(value);
}

TEST(Json, LenientReadingTable) {
  struct Case { const char* text; const char* path; int type; const char* str; int64_t number; };
  const Case cases[] = {
      {"\xEF\xBB\xBF{\"a\":1}", "a", JSON_INT, "1", 1},
      {"{\"a\":12.0}", "a", JSON_REAL, "12.0", 0},
      {"{\"a\":\"12\"}", "a", JSON_STRING, "12", 0},
      {"{\"a\":\"x\\\"y\"}", "a", JSON_STRING, "x\\\"y", 0},
      {"{\"a\":True}", "a", JSON_BOOL, "True", 0},
      {"{\"a\": n u l l }", "a", JSON_NULL, "null", 0},
      {"{\"a\":1e5}", "a", JSON_INT, "1e5", 1},
      {"{\"a\":,\"b\":2}", "a", JSON_INT, "", 0},
      {"{\"a\":word}", "a", JSON_INT, "word", 0},
      {"{\"a\":-7 , }", "a", JSON_INT, "-7", -7},
      {"{b:1,\"c\":3}", "c", JSON_INT, "3", 3},
      {"{b:1,\"c\":3}", "b", -1, nullptr, 0},
      {"{\"a\" \"b\":4}", "b", JSON_INT, "4", 4},
      {"{\"a\":1,\"a\":2}", "a", JSON_INT, "2", 2},
      {"{\"o\":{\"p\":5},\"p\":6}", "o.p", JSON_INT, "5", 5},
      {"{\"l\":[1],\"q\":7}", "l.q", JSON_INT, "7", 7},
      {"{\"o\":{\"p\":5}}", "o..p", JSON_INT, "5", 5},
      {"{\"o\":{\"p\":5}}", "o.x", -1, nullptr, 0},
      {"{\"s\":\"unterminated", "s", JSON_STRING, "unterminated", 0},
      {"{\"s\":\"ends in \\", "s", JSON_STRING, "ends in \\", 0},
      {"{\"a\":[1}, \"b\":2}", "b", -1, nullptr, 0},
      // The second byte of 誠 in the code page is a backslash.
      {"{\"n\":\"誠\",\"a\":1}", "n", JSON_STRING, "誠", 0},
      {"{\"n\":\"誠\",\"a\":1}", "a", JSON_INT, "1", 1},  // the stray } closes the object
  };
  for (const Case& c : cases) {
    CJsonDocument doc;
    ASSERT_TRUE(doc.Parse(c.text)) << c.text;
    const CJsonValue* value = doc.Find(c.path);
    if (c.type < 0) {
      EXPECT_EQ(value, nullptr) << c.text;
      continue;
    }
    ASSERT_NE(value, nullptr) << c.text;
    EXPECT_EQ(value->GetType(), c.type) << c.text;
    EXPECT_EQ(doc.GetString(c.path), c.str) << c.text;
    EXPECT_EQ(Scalar(doc, c.path)->GetInt64(), c.number) << c.text;
  }
}

TEST(Json, ParseNeedsABrace) {
  CJsonDocument doc;
  ASSERT_TRUE(doc.Parse("{\"kept\":1}"));
  EXPECT_FALSE(doc.Parse("[1,2,3]"));
  EXPECT_NE(doc.Find("kept"), nullptr);  // the root keeps what it held
  EXPECT_FALSE(doc.Parse(nullptr));
}

TEST(Json, ArraysAndEmptyContainers) {
  CJsonDocument doc;
  ASSERT_TRUE(doc.Parse("{\"e\":[ ],\"o\":{ },\"t\":[1,\"x\",{\"k\":true},],\"r\":2.5}"));
  auto array = [&](const char* name) { return static_cast<const CJsonArray*>(doc.Find(name)); };
  EXPECT_EQ(array("e")->GetCount(), 0);
  EXPECT_EQ(static_cast<const CJsonObject*>(doc.Find("o"))->GetCount(), 0);
  ASSERT_EQ(array("t")->GetCount(), 3);
  EXPECT_EQ(array("t")->GetAt(2)->GetType(), JSON_OBJECT);
  EXPECT_EQ(array("t")->GetAt(3), nullptr);
  EXPECT_DOUBLE_EQ(Scalar(doc, "r")->GetReal(), 2.5);
  EXPECT_EQ(doc.GetString("t"), "");
}

TEST(Json, BraceWhereAnElementShouldBeEndsTheArray) {
  // Taken literally these would append empty elements forever.
  for (const char* text : {"{\"a\":[1}", "{\"a\":[{\"b\":1}}]}", "{\"a\":[}", "{\"a\":[,]"}) {
    CJsonDocument doc;
    EXPECT_TRUE(doc.Parse(text)) << text;
    EXPECT_EQ(doc.Find("a")->GetType(), JSON_ARRAY) << text;
  }
}

TEST(Json, DeepNestingIsSkippedNotRecursed) {
  const size_t depth = 300000;
  for (char open : {'[', '{'}) {
    std::string text = "{\"deep\":";
    for (size_t i = 0; i < depth; ++i) text += open == '[' ? "[" : "{\"k\":";
    text += "1";
    text.append(depth, open == '[' ? ']' : '}');
    text += ",\"after\":5}";
    CJsonDocument doc;
    ASSERT_TRUE(doc.Parse(text));
    EXPECT_EQ(doc.GetString("after"), "5");
    // The first levels stay; the ones past the bound are dropped.
    const CJsonValue* level = doc.Find("deep");
    int levels = 0;
    while (level && level->GetType() == (open == '[' ? JSON_ARRAY : JSON_OBJECT)) {
      ++levels;
      level = open == '[' ? static_cast<const CJsonArray*>(level)->GetAt(0)
                          : static_cast<const CJsonObject*>(level)->Get("k");
    }
    EXPECT_EQ(levels, JSON_MAX_DEPTH - 1);
  }
}

TEST(Json, LoadFile) {
  std::string path = testing::TempDir() + "velmora_json_test.json";
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("junk {\"score\": 90, \"name\":\"实验\"}", file);
  std::fclose(file);
  CJsonDocument doc;
  ASSERT_TRUE(doc.LoadFile(path));
  EXPECT_EQ(Scalar(doc, "score")->GetInt64(), 90);
  EXPECT_EQ(doc.GetString("name"), "实验");
  std::remove(path.c_str());
  EXPECT_FALSE(doc.LoadFile(path));
}

}  // namespace
