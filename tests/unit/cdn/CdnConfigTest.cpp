#include <gtest/gtest.h>

#include "cdn/Announcer.h"
#include "cdn/CdnConfig.h"
#include "cdn/FileId.h"

namespace {

TEST(CdnFileId, OnlyPlainNamesPass) {
  const struct { std::string fid; bool safe; } cases[] = {
      {"100001", true},
      {"a-b_c.mp4", true},
      {std::string(CDN_MAX_FID_LENGTH, '7'), true},
      {std::string(CDN_MAX_FID_LENGTH + 1, '7'), false},
      {"", false},
      {"..", false},
      {"a..b", false},
      {".hidden", false},
      {"../etc/passwd", false},
      {"a/b", false},
      {"a\\b", false},
      {"1&ft=3", false},   // would add a parameter to the platform URL
      {"1?x", false},
      {"1#x", false},
      {"1 2", false},
      {"1%2F2", false},
      {std::string("1\0002", 3), false},
      {"1\n2", false},
      {"1\x7f", false},
      {"\xc4\xe3", false},  // GBK bytes
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeFileId(c.fid), c.safe) << c.fid;
}

TEST(CdnConfig, ByteSizes) {
  const struct { const char* text; bool ok; int64_t bytes; } cases[] = {
      {"1048576", true, 1048576}, {"512K", true, 512 << 10}, {"5M", true, 5 << 20},
      {"20g", true, 20LL << 30},  {"2T", true, 2LL << 40},   {"", false, 0},
      {"M", false, 0},            {"5 M", false, 0},         {"-5M", false, 0},
      {"1.5G", false, 0},         {"9999999999999T", false, 0},
  };
  for (const auto& c : cases) {
    int64_t bytes = 0;
    EXPECT_EQ(ParseByteSize(c.text, bytes), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
}

TEST(CdnConfig, FullFileWithCommentsAndDefaults) {
  CdnConfig config;
  std::string error;
  ASSERT_TRUE(ParseCdnConfig("# school cache\n"
                             "platform_host = www.example.edu   # upstream\n"
                             "\r\n"
                             "public_address=10.0.0.8\r\n"
                             "cache_cap = 5M\n"
                             "announce_interval = 0\n",
                             config, error))
      << error;
  EXPECT_EQ(config.platformHost, "www.example.edu");
  EXPECT_EQ(config.cacheCap, 5 << 20);
  EXPECT_EQ(config.announceInterval, 0);
  EXPECT_EQ(config.platformPort, 8112);
  EXPECT_EQ(config.broadcastAddress, "10.0.0.255");
  EXPECT_EQ(config.PublicServer(), "10.0.0.8:8000");
}

TEST(CdnConfig, RefusesWhatCannotBeRight) {
  const struct { std::string text; const char* message; } cases[] = {
      {"platform_host = p\n", "must be set"},
      {"public_address = 10.0.0.8\n", "must be set"},
      {"platform_host = p\npublic_address = 10.0.0.8\ncolour = red\n", "line 3: unknown key"},
      {"platform_host = p\npublic_address = 10.0.0.8\nlisten_port = 0\n", "line 3: bad value"},
      {"platform_host = p\npublic_address = 10.0.0.8\nlisten_port = 65536\n", "bad value"},
      {"platform_host = p\npublic_address = 10.0.0.8\nmax_fetches = 0\n", "bad value"},
      {"platform_host = p\npublic_address = school-server\n", "bad value"},
      {"platform_host = p/evil?x=\npublic_address = 10.0.0.8\n", "bad value"},
      {"platform_host = " + std::string(254, 'h') + "\npublic_address = 10.0.0.8\n", "bad value"},
      {"platform_host = p\npublic_address = 10.0.0.8\ncache_dir = relative/dir\n", "bad value"},
      {"platform_host = p\npublic_address = 10.0.0.8\ncache_cap = 0\n", "bad value"},
      {"platform_host p\n", "line 1: expected key = value"},
      // nginx gives a look-up 10 s; a longer wait would only ever end in its 504.
      {"platform_host = p\npublic_address = 10.0.0.8\nfind_wait = 9\n", "0 to 8 seconds: nginx"},
      {"platform_host = p\npublic_address = 10.0.0.8\nfind_wait = 30\n", "line 3: bad value"},
  };
  for (const auto& c : cases) {
    CdnConfig config;
    std::string error;
    EXPECT_FALSE(ParseCdnConfig(c.text, config, error)) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " -> " << error;
  }
}

TEST(CdnConfig, FindWaitUpToTheLimitIsAccepted) {
  CdnConfig config;
  std::string error;
  EXPECT_EQ(config.answerHold, 60);
  ASSERT_TRUE(ParseCdnConfig(
      "platform_host = p\npublic_address = 10.0.0.8\nfind_wait = 8\nanswer_hold = 0\n", config,
      error))
      << error;
  EXPECT_EQ(config.findWait, 8);
  EXPECT_EQ(config.answerHold, 0);
}

TEST(CdnBroadcast, FollowsTheNetmaskOfTheNetwork) {
  const struct { const char* address; const char* netmask; const char* broadcast; } cases[] = {
      {"192.168.1.10", "255.255.255.0", "192.168.1.255"},
      {"10.1.2.3", "255.255.0.0", "10.1.255.255"},
      {"172.16.5.4", "255.255.252.0", "172.16.7.255"},
      {"10.20.30.40", "255.0.0.0", "10.255.255.255"},
      {"192.168.0.5", "255.255.255.252", "192.168.0.7"},
      {"192.168.1.200", "255.255.255.128", "192.168.1.255"},
      {"192.168.1.100", "255.255.255.128", "192.168.1.127"},
      {"192.168.0.4", "255.255.255.254", ""},  // /31: no broadcast
      {"192.168.0.4", "255.255.255.255", ""},  // /32
      {"192.168.0.4", "0.0.0.0", ""},
      {"192.168.0.4", "255.0.255.0", ""},      // not a mask
      {"192.168.0.4", "garbage", ""},
      {"192.168.0", "255.255.255.0", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DirectedBroadcast(c.address, c.netmask), c.broadcast)
        << c.address << "/" << c.netmask;
  }
  // An address that no interface of this machine holds (TEST-NET-3).
  EXPECT_EQ(InterfaceBroadcast("203.0.113.77"), "");
}

TEST(CdnConfig, ShippedExampleParses) {
  CdnConfig config;
  std::string error;
  EXPECT_TRUE(LoadCdnConfig(VELMORA_SOURCE_DIR "/cdn/package/velmora-cdn.conf", config, error))
      << error;
  EXPECT_FALSE(LoadCdnConfig(VELMORA_SOURCE_DIR "/cdn/no-such.conf", config, error));
}

}  // namespace
