// velmora-cdn: the school's LAN cache of platform files. nginx serves the
// cached files and passes /command/ to this program, which answers the
// assistants' look-ups, fetches missing files from the platform and
// announces itself on the LAN.
//   velmora-cdn [-c CONFIG]          the service
//   velmora-cdn [-c CONFIG] status   what the running service holds and saves
// (CONFIG defaults to /etc/velmora-cdn/velmora-cdn.conf)
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "cdn/Announcer.h"
#include "cdn/CdnConfig.h"
#include "cdn/CdnCounters.h"
#include "cdn/CdnService.h"
#include "cdn/CdnStatus.h"
#include "cdn/HttpFront.h"
#include "cdn/PlatformFetch.h"

namespace {

// How often the counters reach the disk, the day is checked and evicted
// files whose hold has passed are removed.
constexpr int HOUSEKEEPING_SECONDS = 10;
// How long a stop waits for running fetches to notice it.
constexpr int STOP_WAIT_MS = 2000;

std::atomic<bool> g_bStop{false};

void OnSignal(int) { g_bStop = true; }

int Fail(const std::string& message) {
  std::fprintf(stderr, "velmora-cdn: %s\n", message.c_str());
  return 1;
}

struct Arguments {
  std::string configPath = "/etc/velmora-cdn/velmora-cdn.conf";
  bool status = false;
};

bool ParseArguments(int argc, char** argv, Arguments& arguments) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-c") == 0 && i + 1 < argc) {
      arguments.configPath = argv[++i];
    } else if (std::strcmp(argv[i], "status") == 0 && !arguments.status) {
      arguments.status = true;
    } else {
      return false;
    }
  }
  return true;
}

// Every few seconds until the stop; the counters are saved once more then.
void KeepHouse(CCacheStore& store, CCdnCounters& counters) {
  std::string error;
  for (int tick = 0; !g_bStop; ++tick) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (tick % (HOUSEKEEPING_SECONDS * 5) != 0) continue;
    store.UnlinkEvicted();
    counters.Tick();
    if (!counters.Save(error)) std::fprintf(stderr, "velmora-cdn: %s\n", error.c_str());
  }
  if (!counters.Save(error)) std::fprintf(stderr, "velmora-cdn: %s\n", error.c_str());
}

int Serve(const CdnConfig& config) {
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);

  std::string error;
  CCacheStore store(config.cacheDir, config.cacheCap, config.maxAge, config.answerHold);
  if (!store.Open(error)) return Fail(error);
  std::fprintf(stderr, "velmora-cdn: %zu files, %lld of %lld bytes in %s\n", store.Count(),
               (long long)store.UsedBytes(), (long long)config.cacheCap, config.cacheDir.c_str());
  CCdnCounters counters(config.cacheDir + "/" + CDN_COUNTERS_FILE);
  if (!counters.Load(error)) std::fprintf(stderr, "velmora-cdn: %s\n", error.c_str());

  PlatformFetchSettings platform;
  platform.host = config.platformHost;
  platform.port = config.platformPort;
  platform.timeoutSeconds = config.fetchTimeout;
  CdnFetchFunction fetch = [platform](const CdnFetchRequest& request, int64_t& size) {
    return FetchFromPlatform(platform, request, size);
  };
  CCdnService service(store, fetch, {config.maxFetches, config.retryAfter, config.findWait * 1000});
  service.SetObserver(&counters);
  CHttpFront front([&] { return FormatMetrics(TakeSnapshot(store, service, counters)); });
  if (!front.Listen(config.listenAddress, config.listenPort, error)) return Fail(error);

  CAnnouncer announcer;
  std::thread announcing;
  if (config.announceInterval > 0) {
    if (!announcer.Open(config.publicAddress, config.broadcastAddress, config.announcePort,
                        error)) {
      return Fail(error);
    }
    announcing = std::thread([&] {
      announcer.Run(BuildAnnouncement(config.PublicServer()), config.announceInterval, g_bStop);
    });
  }
  std::thread keeping([&] { KeepHouse(store, counters); });
  std::fprintf(stderr, "velmora-cdn: look-ups on %s:%d, announcing %s to %s:%d\n",
               config.listenAddress.c_str(), front.Port(), config.PublicServer().c_str(),
               config.broadcastAddress.c_str(), config.announcePort);
  front.Serve(service, g_bStop);
  const bool idle = service.StopWithin(STOP_WAIT_MS);
  if (announcing.joinable()) announcing.join();
  keeping.join();  // the counters' last save
  if (!idle) {
    // A fetch stuck in a name look-up: its part file is cleared at the next
    // start, and the stop does not wait for the resolver.
    std::fprintf(stderr, "velmora-cdn: stopped, leaving a fetch that does not end\n");
    std::fflush(stderr);
    std::_Exit(0);
  }
  std::fprintf(stderr, "velmora-cdn: stopped\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (!ParseArguments(argc, argv, arguments))
    return Fail("usage: velmora-cdn [-c CONFIG] [status]");
  CdnConfig config;
  std::string error;
  if (!LoadCdnConfig(arguments.configPath, config, error)) {
    return Fail(arguments.configPath + ": " + error);
  }
  return arguments.status ? RunStatusCommand(config) : Serve(config);
}
