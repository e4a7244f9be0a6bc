#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "ToolFakes.h"
#include "tools/KeyRetirement.h"
#include "tools/RetiredKeys.h"
#include "unit/app/ScopedAppData.h"

namespace {

using Ids = std::set<std::string>;

const std::string kCurrent = TestKeyId(TestKey::Current);
const std::string kNext = TestKeyId(TestKey::Next);
const std::string kOther = TestKeyId(TestKey::Other);

std::string List(const std::string& lines) { return "velmora-retired-keys 1\n" + lines; }

class RetiredKeys : public ToolTest {
 protected:
  // Whether a tool file signed with `key` may be used now.
  bool Accepts(TestKey key) {
    fetcher.files["VmSFDocReader.exe"] = "reader";
    fetcher.sigFaults["VmSFDocReader.exe"] = key == TestKey::Next ? SigFault::NextKey : SigFault::Good;
    return FetchSignedToolFile(context, "VmSFDocReader.exe", T("VmSFDocReader.exe"));
  }
  Ids Stored() {
    std::string text;
    return ReadWholeFile(RetiredKeysPath(context), text) ? ParseStoredRetirements(text) : Ids();
  }
};

// The list fetched with the tool check: only a later, trusted key's signed
// word retires a key, and what was once retired stays retired.
TEST_F(RetiredKeys, AListRetiresOnlyEarlierKeysAndRetirementsAreKept) {
  ScopedAppData appData("retired-keys");
  const std::string logPath = appData.Path() + "\\VelmoraURL.log";
  const std::string retireCurrent = List("retired " + kCurrent + "\n");
  struct {
    const char* what;
    const char* list;  // nullptr: the server has none
    std::string text;
    SigFault signature;
    Ids before, after;
    const char* logged;
  } const cases[] = {
      {"the next key retires the current", "", retireCurrent, SigFault::NextKey, {}, {kCurrent},
       "发布者停用了密钥 velmora-test-current"},
      {"CRLF lines, a blank line, a key this build does not know", "",
       "velmora-retired-keys 1\r\nretired velmora-2019\r\n\r\nretired " + kCurrent + "\r\n",
       SigFault::NextKey, {}, {kCurrent}, "无权停用密钥 velmora-2019"},
      {"the current key cannot retire the next", "", List("retired " + kNext + "\n"),
       SigFault::Good, {}, {}, "无权停用密钥 velmora-test-next"},
      {"no key retires itself", "", List("retired " + kNext + "\n"), SigFault::NextKey, {}, {},
       "无权停用密钥 velmora-test-next"},
      {"no signature", "", retireCurrent, SigFault::Missing, {}, {}, "服务器未提供签名文件"},
      {"a signature of other bytes", "", retireCurrent, SigFault::Bad, {}, {}, "签名与文件内容不符"},
      {"an untrusted key", "", retireCurrent, SigFault::OtherKey, {}, {}, "签名密钥不受信任"},
      {"a signature of another file", "", retireCurrent, SigFault::WrongName, {}, {},
       "签名属于其他文件"},
      {"a later list without the retirement", "", List(""), SigFault::NextKey, {kCurrent},
       {kCurrent}, ""},
      {"a replayed list signed by the retired key", "", List(""), SigFault::Good, {kCurrent},
       {kCurrent}, "签名密钥已被发布者停用"},
      {"no list on the server", nullptr, "", SigFault::Good, {kCurrent}, {kCurrent},
       "未能取得停用密钥列表"},
      {"not a list", "", "retired " + kCurrent + "\n", SigFault::NextKey, {}, {}, "格式错误"},
      {"another list format", "", "velmora-retired-keys 2\nretired " + kCurrent + "\n",
       SigFault::NextKey, {}, {}, "格式错误"},
      {"a line of another form", "", List("retired " + kCurrent + "\nretire " + kCurrent + "\n"),
       SigFault::NextKey, {}, {}, "格式错误"},
      {"a retirement without a key", "", List("retired \n"), SigFault::NextKey, {}, {}, "格式错误"},
      {"a key id with a blank", "", List("retired " + kCurrent + " now\n"), SigFault::NextKey, {},
       {}, "格式错误"},
  };
  for (const auto& c : cases) {
    platform::DeleteFileAt(logPath);
    platform::DeleteFileAt(RetiredKeysPath(context));
    if (!c.before.empty())
      WriteFileBytes(RetiredKeysPath(context), FormatStoredRetirements(c.before));
    fetcher.files.clear();
    fetcher.sigFaults.clear();
    if (c.list) fetcher.files["keys.retired"] = c.text;
    fetcher.sigFaults["keys.retired"] = c.signature;
    RefreshRetiredKeys(context);
    EXPECT_EQ(Stored(), c.after) << c.what;
    const std::string log = ReadFileBytes(logPath);
    EXPECT_NE(log.find(c.logged), std::string::npos) << c.what << "\n" << log;
    // What the list fetched is not left in the data directory.
    EXPECT_FALSE(platform::FileExists(dir / "data\\keys.retired")) << c.what;
    EXPECT_FALSE(platform::FileExists(dir / "data\\keys.retired.sig")) << c.what;
    // A file signed with a retired key is refused as an untrusted one is.
    const bool currentRetired = c.after.count(kCurrent) > 0;
    platform::DeleteFileAt(logPath);
    EXPECT_EQ(Accepts(TestKey::Current), !currentRetired) << c.what;
    if (currentRetired) {
      EXPECT_NE(ReadFileBytes(logPath).find("VmSFDocReader.exe 未通过发布者签名验证（签名密钥已被发布者停用）"),
                std::string::npos)
          << c.what;
    }
    EXPECT_TRUE(Accepts(TestKey::Next)) << c.what;
  }
}

// Where IT turned the update check off, the list comes with each fetched
// file, before its signature is trusted; with the check on it comes with the
// check only, and a tool's fetch asks for nothing more.
TEST_F(RetiredKeys, WithTheUpdateCheckOffTheListComesWithEachFetchedFile) {
  ScopedAppData appData("retired-keys-each-file");
  const struct {
    bool withEachFile;
    std::vector<std::string> fetched;
    bool currentAccepted;
  } cases[] = {
      {false, {"VmSFDocReader.exe", "VmSFDocReader.exe.sig"}, true},
      {true,
       {"VmSFDocReader.exe", "keys.retired", "keys.retired.sig", "VmSFDocReader.exe.sig"},
       false},
  };
  for (const auto& c : cases) {
    platform::DeleteFileAt(RetiredKeysPath(context));
    context.retiredKeysWithEachFile = c.withEachFile;
    fetcher.files.clear();
    fetcher.sigFaults.clear();
    fetcher.files["keys.retired"] = List("retired " + kCurrent + "\n");
    fetcher.sigFaults["keys.retired"] = SigFault::NextKey;
    fetcher.fetched.clear();
    EXPECT_EQ(Accepts(TestKey::Current), c.currentAccepted) << c.withEachFile;
    EXPECT_EQ(fetcher.fetched, c.fetched) << c.withEachFile;
  }
}

// The rule over any number of compiled keys: the signer's rank bounds what
// it may retire, and a retired key signs no list.
TEST(RetiredKeyList, OnlyALaterKeyThatIsNotRetiredRetires) {
  std::vector<ToolKey> keys = {{kCurrent, TestPublicKey(TestKey::Current)},
                               {kNext, TestPublicKey(TestKey::Next)},
                               {kOther, TestPublicKey(TestKey::Other)}};
  const std::string both = List("retired " + kCurrent + "\nretired " + kNext + "\n");
  struct {
    const char* what;
    TestKey signer;
    Ids retiredBefore;
    SignatureCheck signature;
    std::vector<std::string> retires, refused;
  } const cases[] = {
      {"the last key retires both before it", TestKey::Other, {}, SignatureCheck::Good,
       {kCurrent, kNext}, {}},
      {"a key already retired is not retired again", TestKey::Other, {kCurrent},
       SignatureCheck::Good, {kNext}, {}},
      {"the middle key retires only the first", TestKey::Next, {}, SignatureCheck::Good,
       {kCurrent}, {kNext}},
      {"the first key retires nothing", TestKey::Current, {}, SignatureCheck::Good, {},
       {kCurrent, kNext}},
      {"a retired key signs no list", TestKey::Next, {kNext}, SignatureCheck::RetiredKey, {}, {}},
  };
  for (const auto& c : cases) {
    const std::string signature = SignatureFileFor("keys.retired", "-", both, c.signer);
    const RetiredKeyVerdict verdict =
        JudgeRetiredKeyList(both, signature, WithRetirements(keys, c.retiredBefore));
    EXPECT_EQ(verdict.signature, c.signature) << c.what;
    EXPECT_EQ(verdict.retired, c.retires) << c.what;
    EXPECT_EQ(verdict.refused, c.refused) << c.what;
  }
}

}  // namespace
