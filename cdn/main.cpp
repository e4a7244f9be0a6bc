// velmora-cdn: the school's LAN cache of platform files. nginx serves the
// cached files and passes /command/ to this program, which answers the
// assistants' look-ups, fetches missing files from the platform and
// announces itself on the LAN.
//   velmora-cdn [-c CONFIG]     (default /etc/velmora-cdn/velmora-cdn.conf)
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "cdn/Announcer.h"
#include "cdn/CdnConfig.h"
#include "cdn/CdnService.h"
#include "cdn/HttpFront.h"
#include "cdn/PlatformFetch.h"

namespace {

std::atomic<bool> g_bStop{false};

void OnSignal(int) { g_bStop = true; }

int Fail(const std::string& message) {
  std::fprintf(stderr, "velmora-cdn: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string configPath = "/etc/velmora-cdn/velmora-cdn.conf";
  if (argc == 3 && std::strcmp(argv[1], "-c") == 0) {
    configPath = argv[2];
  } else if (argc != 1) {
    return Fail("usage: velmora-cdn [-c CONFIG]");
  }
  CdnConfig config;
  std::string error;
  if (!LoadCdnConfig(configPath, config, error)) return Fail(configPath + ": " + error);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);

  CCacheStore store(config.cacheDir, config.cacheCap, config.maxAge);
  if (!store.Open(error)) return Fail(error);
  std::fprintf(stderr, "velmora-cdn: %zu files, %lld of %lld bytes in %s\n", store.Count(),
               (long long)store.UsedBytes(), (long long)config.cacheCap, config.cacheDir.c_str());

  PlatformFetchSettings platform{config.platformHost, config.platformPort, config.fetchTimeout};
  CdnFetchFunction fetch = [platform](const std::string& fid, const std::string& part,
                                      int64_t maxBytes, const std::atomic<bool>& stop,
                                      int64_t& size) {
    return FetchFromPlatform(platform, fid, part, maxBytes, stop, size);
  };
  CCdnService service(store, fetch, {config.maxFetches, config.retryAfter, config.findWait * 1000});
  CHttpFront front;
  if (!front.Listen(config.listenAddress, config.listenPort, error)) return Fail(error);

  CAnnouncer announcer;
  std::thread announcing;
  if (config.announceInterval > 0) {
    if (!announcer.Open(config.publicAddress, config.broadcastAddress, config.announcePort, error)) {
      return Fail(error);
    }
    announcing = std::thread([&] {
      announcer.Run(BuildAnnouncement(config.PublicServer()), config.announceInterval, g_bStop);
    });
  }
  std::fprintf(stderr, "velmora-cdn: look-ups on %s:%d, announcing %s to %s:%d\n",
               config.listenAddress.c_str(), front.Port(), config.PublicServer().c_str(),
               config.broadcastAddress.c_str(), config.announcePort);
  front.Serve(service, g_bStop);
  service.Stop();
  if (announcing.joinable()) announcing.join();
  std::fprintf(stderr, "velmora-cdn: stopped\n");
  return 0;
}
