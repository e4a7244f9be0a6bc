#include <gtest/gtest.h>

#include <cstring>

#include "app/SharedState.h"

namespace {

int Occupied(const SharedState& state) {
  int n = 0;
  for (const auto& slot : state.szDownloading) n += slot[0] != '\0';
  return n;
}

}  // namespace

TEST(DownloadSlotsTest, ClaimsAndReleasesInOrder) {
  SharedState state{};
  // Each step: claim (+) or release (-) of a fid, its result, and the count after.
  struct Step {
    char op;
    std::string fid;
    bool result;
    int count;
  } steps[] = {
      {'+', "f1", true, 1},  {'+', "f1", false, 1},  // once only
      {'+', "F1", true, 2},                          // byte for byte: another fid
      {'+', "f3", true, 3},  {'+', "f4", true, 4},  {'+', "f5", true, 5},
      {'+', "f6", false, 5},                         // five at most
      {'-', "f3", true, 4},  {'+', "f6", true, 5},   // the freed slot is reused
      {'-', "f3", false, 5},                         // not held: nothing changes
      {'-', "nope", false, 5},
  };
  for (const Step& s : steps) {
    bool r = s.op == '+' ? ClaimSlot(state, s.fid) : ReleaseSlot(state, s.fid);
    EXPECT_EQ(s.result, r) << s.op << s.fid;
    EXPECT_EQ(s.count, state.nDownloading) << s.op << s.fid;
    EXPECT_EQ(s.count, Occupied(state)) << s.op << s.fid;
  }
  EXPECT_STREQ("f6", state.szDownloading[2]);  // the first free slot
}

TEST(DownloadSlotsTest, FidsThatDoNotFitASlotAreRefused) {
  SharedState state{};
  std::memset(&state.nDownloading, 0x5A, sizeof state.nDownloading);  // the fields after the slots
  state.nDownloading = 0;
  const std::string longest(DOWNLOAD_SLOT_SIZE - 1, 'x');
  EXPECT_FALSE(ClaimSlot(state, std::string(DOWNLOAD_SLOT_SIZE, 'y')));
  EXPECT_FALSE(ClaimSlot(state, std::string(5000, 'z')));
  EXPECT_FALSE(ClaimSlot(state, ""));
  EXPECT_FALSE(ClaimSlot(state, std::string("a\0b", 3)));
  EXPECT_EQ(0, state.nDownloading);
  EXPECT_EQ(0, Occupied(state));
  ASSERT_TRUE(ClaimSlot(state, longest));
  EXPECT_EQ(longest, std::string(state.szDownloading[0]));
  EXPECT_EQ(1, state.nDownloading);
}

// An empty fid matches every free slot byte for byte: releasing it must not
// count a download down that never was.
TEST(DownloadSlotsTest, ReleasingAnEmptyFidChangesNothing) {
  SharedState state{};
  ASSERT_TRUE(ClaimSlot(state, "f1"));
  EXPECT_FALSE(ReleaseSlot(state, ""));
  EXPECT_EQ(1, state.nDownloading);
  EXPECT_FALSE(ClaimSlot(state, ""));
}

// A slot written by another process without its terminator is read up to
// the slot's end, not beyond.
TEST(DownloadSlotsTest, UnterminatedSlotIsComparedWithinItsBounds) {
  SharedState state{};
  std::memset(state.szDownloading[0], 'q', DOWNLOAD_SLOT_SIZE);
  std::memset(state.szDownloading[1], 'q', 10);
  state.nDownloading = 2;
  EXPECT_TRUE(ClaimSlot(state, "qqq"));
  EXPECT_FALSE(ClaimSlot(state, std::string(10, 'q')));
}

TEST(CdnServerTest, StoredOnlyWhenItFits) {
  SharedState state{};
  EXPECT_EQ("", ReadCdnServer(state));
  ASSERT_TRUE(StoreCdnServer(state, "192.168.1.5:8080"));
  EXPECT_EQ("192.168.1.5:8080", ReadCdnServer(state));
  const std::string longest(CDN_SERVER_SIZE - 1, 'h');
  ASSERT_TRUE(StoreCdnServer(state, longest));
  EXPECT_EQ(longest, ReadCdnServer(state));
  EXPECT_FALSE(StoreCdnServer(state, std::string(CDN_SERVER_SIZE, 'x')));
  EXPECT_EQ(longest, ReadCdnServer(state));  // the old value stays
  std::memset(state.szCdnServer, 'u', CDN_SERVER_SIZE);
  EXPECT_EQ(CDN_SERVER_SIZE, ReadCdnServer(state).size());
  EXPECT_EQ(0, state.bInstallingViewer);
}

TEST(CdnServerAddress, HostNameOrAddressWithAnOptionalPort) {
  struct Case {
    const char* text;
    bool ok;
  } cases[] = {
      {"10.0.0.8:8000", true},  {"cdn.school.local", true}, {"cdn:1", true},
      {"cdn:65535", true},      {"CDN-2.School", true},     {"10.0.0.8", true},
      {"", false},              {"cdn:", false},            {":8000", false},
      {"cdn:0", false},         {"cdn:65536", false},       {"cdn:80a", false},
      {"a:b:80", false},        {"cdn 1:80", false},        {"@evil.example", false},
      {"cdn/x", false},         {"cdn\\x", false},          {"cdn?x", false},
      {"cdn#x", false},         {"cdn\t:80", false},        {"cdn\":80", false},
      {"cdn\"", false},         {"a\" -x:80", false},       {"cdn_1:80", false},
      {"cdn'x", false},         {"cdn%41", false},          {"cdn;x", false},
      {"cdn&x", false},         {"cdn|x", false},           {"[::1]:80", false},
      {"cdn:+80", false},       {"cdn:-1", false},          {"cdn:80 ", false},
      {"\xd0\xa3\xd4\xb0:80", false},  // a GBK host name
  };
  for (const auto& c : cases) EXPECT_EQ(c.ok, IsCdnServerAddress(c.text)) << c.text;
  EXPECT_FALSE(IsCdnServerAddress(std::string(CDN_SERVER_SIZE, 'a')));
  EXPECT_TRUE(IsCdnServerAddress(std::string(CDN_SERVER_SIZE - 1, 'a')));
  EXPECT_FALSE(IsCdnServerAddress(std::string("cdn\0x", 5)));
}
