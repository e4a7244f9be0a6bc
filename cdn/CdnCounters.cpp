#include "cdn/CdnCounters.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// Clients remembered for "seen in the last hour"; a flood of forged or
// many addresses cannot grow the table past this.
constexpr size_t MAX_REMEMBERED_CLIENTS = 16384;
constexpr int CLIENT_MEMORY_SECONDS = 3600;

struct TallyField {
  const char* name;
  int64_t CdnTally::*field;
};

const TallyField TALLY_FIELDS[] = {
    {"hits", &CdnTally::hits},
    {"misses", &CdnTally::misses},
    {"served_bytes", &CdnTally::servedBytes},
    {"fetches", &CdnTally::fetches},
    {"fetched_bytes", &CdnTally::fetchedBytes},
};

bool ParseCount(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  value = std::stoll(text);
  return true;
}

bool IsDate(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i != 4 && i != 7 && (text[i] < '0' || text[i] > '9')) return false;
  }
  return true;
}

bool WriteWhole(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

}  // namespace

std::string LocalDate(time_t when) {
  tm local{};
  localtime_r(&when, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

std::string FormatByteAmount(int64_t bytes) {
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = (double)bytes / 1024;
  int unit = 0;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

std::string FormatDaySaving(const CdnTally& day) {
  return "served " + FormatByteAmount(day.servedBytes) + " to " + std::to_string(day.hits) +
         " look-ups, fetched " + FormatByteAmount(day.fetchedBytes);
}

void CCdnCounters::DefaultJournal(const std::string& line) {
  std::fprintf(stderr, "velmora-cdn: %s\n", line.c_str());
}

bool CCdnCounters::Load(std::string& error) {
  std::lock_guard<std::mutex> guard(m_lock);
  const std::string today = LocalDate(m_now());
  m_strDay = m_strSince = today;
  std::ifstream file(m_strPath, std::ios::binary);
  if (!file) return true;  // counting starts now
  CdnTally total, day;
  std::string since, date, line;
  bool ok = true;
  while (ok && std::getline(file, line)) {
    std::istringstream words(line);
    std::string key, value;
    words >> key >> value;
    if (key == "since" || key == "day") {
      ok = IsDate(value);
      (key == "since" ? since : date) = value;
      continue;
    }
    bool known = false;
    for (const auto& field : TALLY_FIELDS) {
      int64_t* target = key == std::string("total_") + field.name  ? &(total.*field.field)
                        : key == std::string("today_") + field.name ? &(day.*field.field)
                                                                    : nullptr;
      if (target) {
        known = true;
        ok = ParseCount(value, *target);
      }
    }
    ok = ok && (known || key.empty());
  }
  if (!ok || since.empty() || date.empty()) {
    error = "cannot read the counters in " + m_strPath + "; counting starts again";
    return false;
  }
  m_total = total;
  m_today = day;
  m_strSince = since;
  m_strDay = date;
  return true;
}

bool CCdnCounters::Save(std::string& error) {
  std::string text;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_bChanged) return true;
    text = "since " + m_strSince + "\nday " + m_strDay + "\n";
    for (const auto& field : TALLY_FIELDS) {
      text +=
          std::string("total_") + field.name + " " + std::to_string(m_total.*field.field) + "\n";
      text +=
          std::string("today_") + field.name + " " + std::to_string(m_today.*field.field) + "\n";
    }
    m_bChanged = false;
  }
  const std::string temporary = m_strPath + ".new";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0 && WriteWhole(fd, text) && fsync(fd) == 0;
  if (fd >= 0) ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), m_strPath.c_str()) == 0;
  if (!ok) {
    error = "cannot save the counters in " + m_strPath + ": " + std::strerror(errno);
    unlink(temporary.c_str());
    std::lock_guard<std::mutex> guard(m_lock);
    m_bChanged = true;  // tried again at the next save
  }
  return ok;
}

void CCdnCounters::RollDayLocked(time_t now) {
  const std::string today = LocalDate(now);
  if (today == m_strDay) return;
  if (!m_strDay.empty()) m_journal(m_strDay + ": " + FormatDaySaving(m_today));
  m_strDay = today;
  if (m_strSince.empty()) m_strSince = today;
  m_today = CdnTally{};
  m_bChanged = true;
}

void CCdnCounters::Tick() {
  std::lock_guard<std::mutex> guard(m_lock);
  RollDayLocked(m_now());
}

void CCdnCounters::NoteClientLocked(const std::string& client, time_t now) {
  if (client.empty()) return;
  if (m_clients.size() >= MAX_REMEMBERED_CLIENTS && !m_clients.count(client)) {
    for (auto it = m_clients.begin(); it != m_clients.end();) {
      it = now - it->second >= CLIENT_MEMORY_SECONDS ? m_clients.erase(it) : std::next(it);
    }
    if (m_clients.size() >= MAX_REMEMBERED_CLIENTS) return;
  }
  m_clients[client] = now;
}

void CCdnCounters::Answered(const std::string& client, const CdnFindResult& result) {
  std::lock_guard<std::mutex> guard(m_lock);
  const time_t now = m_now();
  RollDayLocked(now);
  NoteClientLocked(client, now);
  if (result.ret == CDN_RET_BAD_FID) return;  // not a file the cache could ever hold
  CdnTally* tallies[] = {&m_total, &m_today};
  for (CdnTally* tally : tallies) {
    if (result.ret == CDN_RET_HELD) {
      tally->hits += 1;
      tally->servedBytes += result.size;
    } else {
      tally->misses += 1;
    }
  }
  m_bChanged = true;
}

void CCdnCounters::Fetched(int64_t bytes) {
  std::lock_guard<std::mutex> guard(m_lock);
  RollDayLocked(m_now());
  CdnTally* tallies[] = {&m_total, &m_today};
  for (CdnTally* tally : tallies) {
    tally->fetches += 1;
    tally->fetchedBytes += bytes;
  }
  m_bChanged = true;
}

CdnTally CCdnCounters::Total() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_total;
}

CdnTally CCdnCounters::Today() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_today;
}

std::string CCdnCounters::Since() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_strSince;
}

int CCdnCounters::ClientsSeen(int seconds) const {
  std::lock_guard<std::mutex> guard(m_lock);
  const time_t now = m_now();
  int seen = 0;
  for (const auto& client : m_clients) seen += now - client.second < seconds ? 1 : 0;
  return seen;
}
