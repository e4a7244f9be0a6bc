#include "cdn/CdnConfig.h"

#include <arpa/inet.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "cdn/Announcer.h"

namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool ParseInt(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  int parsed = std::stoi(text);
  if (parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool IsIpv4(const std::string& text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

using Setter = std::function<bool(CdnConfig&, const std::string&)>;

Setter Port(int CdnConfig::*field) {
  return [field](CdnConfig& c, const std::string& v) { return ParseInt(v, 1, 65535, c.*field); };
}

Setter Seconds(int CdnConfig::*field, int low) {
  return [field, low](CdnConfig& c, const std::string& v) {
    return ParseInt(v, low, 86400, c.*field);
  };
}

Setter Address(std::string CdnConfig::*field) {
  return [field](CdnConfig& c, const std::string& v) {
    if (!IsIpv4(v)) return false;
    c.*field = v;
    return true;
  };
}

const std::map<std::string, Setter>& Setters() {
  static const std::map<std::string, Setter> setters = {
      {"platform_host",
       [](CdnConfig& c, const std::string& v) {
         // Goes into the upstream URL: a host name or address, nothing more.
         if (v.empty() || v.size() > 253 || v.find_first_of("/?#@: \t") != std::string::npos) {
           return false;
         }
         c.platformHost = v;
         return true;
       }},
      {"platform_port", Port(&CdnConfig::platformPort)},
      {"cache_dir",
       [](CdnConfig& c, const std::string& v) {
         if (v.empty() || v[0] != '/') return false;
         c.cacheDir = v;
         return true;
       }},
      {"cache_cap",
       [](CdnConfig& c, const std::string& v) { return ParseByteSize(v, c.cacheCap) && c.cacheCap > 0; }},
      {"listen_address", Address(&CdnConfig::listenAddress)},
      {"listen_port", Port(&CdnConfig::listenPort)},
      {"public_address", Address(&CdnConfig::publicAddress)},
      {"public_port", Port(&CdnConfig::publicPort)},
      {"broadcast_address", Address(&CdnConfig::broadcastAddress)},
      {"announce_port", Port(&CdnConfig::announcePort)},
      {"announce_interval", Seconds(&CdnConfig::announceInterval, 0)},
      {"fetch_timeout", Seconds(&CdnConfig::fetchTimeout, 1)},
      {"max_fetches",
       [](CdnConfig& c, const std::string& v) { return ParseInt(v, 1, 64, c.maxFetches); }},
      {"retry_after", Seconds(&CdnConfig::retryAfter, 0)},
      {"max_age",
       [](CdnConfig& c, const std::string& v) { return ParseInt(v, 0, 365 * 86400, c.maxAge); }},
      {"answer_hold", Seconds(&CdnConfig::answerHold, 0)},
      {"find_wait",
       [](CdnConfig& c, const std::string& v) {
         return ParseInt(v, 0, CDN_MAX_FIND_WAIT, c.findWait);
       }},
  };
  return setters;
}

// Why a value that looks plausible is refused.
std::string ValueHint(const std::string& key) {
  if (key != "find_wait") return "";
  return " (0 to " + std::to_string(CDN_MAX_FIND_WAIT) +
         " seconds: nginx gives a look-up 10 seconds, and a look-up that waits longer is cut off)";
}

}  // namespace

std::string CdnConfig::PublicServer() const {
  return publicAddress + ":" + std::to_string(publicPort);
}

bool ParseByteSize(const std::string& text, int64_t& bytes) {
  if (text.empty()) return false;
  int shift = 0;
  std::string digits = text;
  switch (text.back()) {
    case 'K': case 'k': shift = 10; break;
    case 'M': case 'm': shift = 20; break;
    case 'G': case 'g': shift = 30; break;
    case 'T': case 't': shift = 40; break;
    default: break;
  }
  if (shift) digits.pop_back();
  if (digits.empty() || digits.size() > 18) return false;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  int64_t value = std::stoll(digits);
  if (value > (INT64_MAX >> shift)) return false;
  bytes = value << shift;
  return true;
}

bool ParseCdnConfig(const std::string& text, CdnConfig& config, std::string& error) {
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    size_t equals = line.find('=');
    std::string where = "line " + std::to_string(number) + ": ";
    if (equals == std::string::npos) {
      error = where + "expected key = value";
      return false;
    }
    std::string key = Trim(line.substr(0, equals)), value = Trim(line.substr(equals + 1));
    auto setter = Setters().find(key);
    if (setter == Setters().end()) {
      error = where + "unknown key \"" + key + "\"";
      return false;
    }
    if (!setter->second(config, value)) {
      error = where + "bad value for " + key + ": \"" + value + "\"" + ValueHint(key);
      return false;
    }
  }
  if (config.platformHost.empty() || config.publicAddress.empty()) {
    error = "platform_host and public_address must be set";
    return false;
  }
  if (config.broadcastAddress.empty()) {
    // The network of the interface that students reach; when this machine
    // does not hold the address (yet), the /24 that most school LANs are.
    config.broadcastAddress = InterfaceBroadcast(config.publicAddress);
    if (config.broadcastAddress.empty()) {
      config.broadcastAddress =
          config.publicAddress.substr(0, config.publicAddress.rfind('.')) + ".255";
    }
  }
  return true;
}

bool LoadCdnConfig(const std::string& path, CdnConfig& config, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (text.str().size() > 65536) {
    error = path + " is too large for a configuration file";
    return false;
  }
  return ParseCdnConfig(text.str(), config, error);
}
