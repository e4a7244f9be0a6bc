#pragma once
#include <cstdint>
#include <string>

// The longest a look-up may wait for a fetch, in seconds: nginx cuts off a
// look-up after 10 seconds (proxy_read_timeout of /command/), and the reply
// must reach it before that.
constexpr int CDN_MAX_FIND_WAIT = 8;

// The cache server's settings, from one small "key = value" file
// (see cdn/velmora-cdn.conf for every key with its default).
struct CdnConfig {
  std::string platformHost;                   // platform_host (required)
  int platformPort = 8112;                    // platform_port: its download service
  std::string cacheDir = "/var/cache/velmora-cdn";  // cache_dir
  int64_t cacheCap = 20LL << 30;              // cache_cap: bytes, K/M/G/T suffix allowed
  std::string listenAddress = "127.0.0.1";    // listen_address: the look-up service, behind nginx
  int listenPort = 8091;                      // listen_port
  std::string publicAddress;                  // public_address (required): what students reach
  int publicPort = 8000;                      // public_port: nginx's port on that address
  std::string broadcastAddress;               // broadcast_address: default from public_address's interface
  int announcePort = 20214;                   // announce_port
  int announceInterval = 10;                  // announce_interval: seconds, 0 = never
  int fetchTimeout = 60;                      // fetch_timeout: seconds without data from the platform
  int maxFetches = 4;                         // max_fetches: platform downloads at once
  int retryAfter = 30;                        // retry_after: seconds before a failed file is tried again
  int maxAge = 86400;                         // max_age: seconds a fetched file is offered, 0 = ever
  int findWait = 5;                           // find_wait: seconds a look-up waits for a running fetch
  int answerHold = 60;                        // answer_hold: seconds an answered file stays on disk

  // The "host:port" that the announcement and the look-up replies name.
  std::string PublicServer() const;
};

// Parses the text of a configuration file into `config` (which holds the
// defaults on entry). False with a message naming the line on any unknown
// key, malformed value or missing required key.
bool ParseCdnConfig(const std::string& text, CdnConfig& config, std::string& error);
bool LoadCdnConfig(const std::string& path, CdnConfig& config, std::string& error);

// "512M", "20G", "1048576": bytes; false on anything else or on overflow.
bool ParseByteSize(const std::string& text, int64_t& bytes);
