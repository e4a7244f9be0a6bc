#include "cdn/CdnStatus.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "cdn/FileId.h"

namespace {

constexpr int STATUS_WAIT_MS = 3000;

struct Metric {
  const char* name;
  const char* type;
  const char* help;
  int64_t CdnSnapshot::*field;
};

const Metric GAUGES[] = {
    {"files", "gauge", "Files held whole.", &CdnSnapshot::files},
    {"held_bytes", "gauge", "Bytes of the files held.", &CdnSnapshot::heldBytes},
    {"cap_bytes", "gauge", "The cache's cap (cache_cap).", &CdnSnapshot::capBytes},
    {"reserved_bytes", "gauge", "Bytes taken by fetches in progress.", &CdnSnapshot::reservedBytes},
    {"running_fetches", "gauge", "Platform fetches running.", &CdnSnapshot::runningFetches},
    {"clients_last_hour", "gauge", "Machines with a look-up in the last hour.",
     &CdnSnapshot::clientsLastHour},
};

struct TallyMetric {
  const char* name;
  const char* help;
  int64_t CdnTally::*field;
};

const TallyMetric TALLIES[] = {
    {"hits", "Look-ups answered with the file (ret 0).", &CdnTally::hits},
    {"misses", "Look-ups sent to the platform (ret 1 or 3).", &CdnTally::misses},
    {"served_bytes", "Sizes of the files answered with ret 0.", &CdnTally::servedBytes},
    {"fetches", "Files fetched from the platform.", &CdnTally::fetches},
    {"fetched_bytes", "Bytes fetched from the platform.", &CdnTally::fetchedBytes},
};

void AddMetric(std::string& text, const std::string& name, const char* type, const char* help,
               int64_t value) {
  text += "# HELP velmora_cdn_" + name + " " + help + "\n# TYPE velmora_cdn_" + name + " " + type +
          "\nvelmora_cdn_" + name + " " + std::to_string(value) + "\n";
}

// What the cache directory holds, read without changing anything in it.
void ScanHeldFiles(const CdnConfig& config, CdnSnapshot& snapshot) {
  const std::string dir = config.cacheDir + "/files";
  DIR* listing = opendir(dir.c_str());
  if (!listing) return;
  while (dirent* item = readdir(listing)) {
    struct stat info{};
    if (IsSafeFileId(item->d_name) && lstat((dir + "/" + item->d_name).c_str(), &info) == 0 &&
        S_ISREG(info.st_mode)) {
      snapshot.files += 1;
      snapshot.heldBytes += info.st_size;
    }
  }
  closedir(listing);
}

// One GET of /command/metrics from the service itself.
bool QueryMetrics(const CdnConfig& config, std::string& body) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons((uint16_t)config.listenPort);
  const std::string host = config.listenAddress == "0.0.0.0" ? "127.0.0.1" : config.listenAddress;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  timeval wait{STATUS_WAIT_MS / 1000, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
  const std::string get = "GET /command/metrics HTTP/1.0\r\n\r\n";
  std::string reply;
  if (fd >= 0 && inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1 &&
      connect(fd, (sockaddr*)&address, sizeof address) == 0 &&
      send(fd, get.data(), get.size(), MSG_NOSIGNAL) == (ssize_t)get.size()) {
    char buffer[4096];
    ssize_t n;
    while (reply.size() < 65536 && (n = recv(fd, buffer, sizeof buffer, 0)) > 0) {
      reply.append(buffer, (size_t)n);
    }
  }
  if (fd >= 0) close(fd);
  size_t end = reply.find("\r\n\r\n");
  if (reply.compare(0, 12, "HTTP/1.1 200") != 0 || end == std::string::npos) return false;
  body = reply.substr(end + 4);
  return true;
}

}  // namespace

CdnSnapshot TakeSnapshot(const CCacheStore& store, CCdnService& service,
                         const CCdnCounters& counters) {
  CdnSnapshot snapshot;
  snapshot.files = (int64_t)store.Count();
  snapshot.heldBytes = store.UsedBytes();
  snapshot.capBytes = store.Cap();
  snapshot.reservedBytes = store.ReservedBytes();
  snapshot.runningFetches = service.RunningFetches();
  snapshot.clientsLastHour = counters.ClientsSeen(3600);
  snapshot.total = counters.Total();
  snapshot.today = counters.Today();
  snapshot.since = counters.Since();
  return snapshot;
}

std::string FormatMetrics(const CdnSnapshot& snapshot) {
  std::string text = "# HELP velmora_cdn_info The day the totals began.\n"
                     "# TYPE velmora_cdn_info gauge\nvelmora_cdn_info{since=\"" +
                     snapshot.since + "\"} 1\n";
  for (const auto& gauge : GAUGES) {
    AddMetric(text, gauge.name, gauge.type, gauge.help, snapshot.*gauge.field);
  }
  for (const auto& tally : TALLIES) {
    AddMetric(text, std::string(tally.name) + "_total", "counter", tally.help,
              snapshot.total.*tally.field);
    AddMetric(text, std::string("today_") + tally.name, "gauge", tally.help,
              snapshot.today.*tally.field);
  }
  return text;
}

bool ParseMetrics(const std::string& text, CdnSnapshot& snapshot) {
  std::map<std::string, int64_t> values;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t since = line.find("{since=\"");
    if (since != std::string::npos) {
      snapshot.since = line.substr(since + 8, line.find('"', since + 8) - since - 8);
      continue;
    }
    std::istringstream words(line);
    std::string name;
    long long value = 0;
    if (words >> name >> value) values[name] = value;
  }
  auto take = [&](const std::string& name, int64_t& target) {
    auto found = values.find("velmora_cdn_" + name);
    if (found == values.end()) return false;
    target = found->second;
    return true;
  };
  bool ok = true;
  for (const auto& gauge : GAUGES) ok = take(gauge.name, snapshot.*gauge.field) && ok;
  for (const auto& tally : TALLIES) {
    ok = take(std::string(tally.name) + "_total", snapshot.total.*tally.field) && ok;
    ok = take(std::string("today_") + tally.name, snapshot.today.*tally.field) && ok;
  }
  return ok;
}

std::string FormatStatus(const CdnSnapshot& snapshot) {
  char text[2048];
  const int percent =
      snapshot.capBytes > 0 ? (int)(snapshot.heldBytes * 100 / snapshot.capBytes) : 0;
  auto tallyLine = [](const CdnTally& tally) {
    return std::to_string(tally.hits) + " hits, " + std::to_string(tally.misses) +
           " misses; served " + FormatByteAmount(tally.servedBytes) + " from the cache, fetched " +
           FormatByteAmount(tally.fetchedBytes) + " from the platform (" +
           std::to_string(tally.fetches) + " files)";
  };
  std::snprintf(text, sizeof text,
                "files held:         %lld\n"
                "bytes held:         %s of %s (%d%%), %s more being fetched\n"
                "running fetches:    %lld\n"
                "clients last hour:  %lld\n"
                "today:              %s\n"
                "since %s:   %s\n",
                (long long)snapshot.files, FormatByteAmount(snapshot.heldBytes).c_str(),
                FormatByteAmount(snapshot.capBytes).c_str(), percent,
                FormatByteAmount(snapshot.reservedBytes).c_str(),
                (long long)snapshot.runningFetches, (long long)snapshot.clientsLastHour,
                tallyLine(snapshot.today).c_str(), snapshot.since.c_str(),
                tallyLine(snapshot.total).c_str());
  return text;
}

int RunStatusCommand(const CdnConfig& config) {
  CdnSnapshot snapshot;
  std::string body;
  if (QueryMetrics(config, body) && ParseMetrics(body, snapshot)) {
    std::printf("velmora-cdn is running (look-ups on %s:%d)\n%s", config.listenAddress.c_str(),
                config.listenPort, FormatStatus(snapshot).c_str());
    return 0;
  }
  std::printf("velmora-cdn is not running (no answer on %s:%d); from %s:\n",
              config.listenAddress.c_str(), config.listenPort, config.cacheDir.c_str());
  CCdnCounters counters(config.cacheDir + "/" + CDN_COUNTERS_FILE);
  std::string error;
  if (!counters.Load(error)) std::printf("%s\n", error.c_str());
  ScanHeldFiles(config, snapshot);
  snapshot.capBytes = config.cacheCap;
  snapshot.total = counters.Total();
  snapshot.today = counters.Today();
  snapshot.since = counters.Since();
  std::printf("%s", FormatStatus(snapshot).c_str());
  return 1;
}
