#pragma once
#include <cstdint>
#include <string>

#include "cdn/CdnConfig.h"
#include "cdn/CdnCounters.h"

// Everything IT asks of a running cache: "is it working, and what does it save?"
struct CdnSnapshot {
  int64_t files = 0;
  int64_t heldBytes = 0;
  int64_t capBytes = 0;
  int64_t reservedBytes = 0;  // taken by fetches in progress
  int64_t runningFetches = 0;
  int64_t clientsLastHour = 0;
  CdnTally total;
  CdnTally today;
  std::string since;  // the local date the totals began
};

CdnSnapshot TakeSnapshot(const CCacheStore& store, CCdnService& service,
                         const CCdnCounters& counters);
// The snapshot in the text format that monitoring systems scrape, every name
// prefixed velmora_cdn_.
std::string FormatMetrics(const CdnSnapshot& snapshot);
// Reads FormatMetrics' text back; false when a value is missing.
bool ParseMetrics(const std::string& text, CdnSnapshot& snapshot);
// The snapshot as lines for a person.
std::string FormatStatus(const CdnSnapshot& snapshot);

// `velmora-cdn status`: asks the running service for its metrics (on the
// look-up address of `config`) and prints them; when it does not answer, says
// so and prints what the cache directory holds. The exit code: 0 running,
// 1 not running.
int RunStatusCommand(const CdnConfig& config);
