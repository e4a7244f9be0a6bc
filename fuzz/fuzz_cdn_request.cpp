// A request head to the school cache server's look-up service from any
// machine of the network: parsed, routed through the service (whose platform
// fetch is a stand-in that fails at once) and answered. A file id that
// reaches the cache or the platform URL with anything but its safe bytes is a
// finding, and so is a reply whose length does not match its body.
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "cdn/CdnService.h"
#include "cdn/HttpFront.h"

namespace {

// The rule written out again on purpose: checking with the service's own
// IsSafeFileId would only ask the rule whether it agrees with itself.
bool IsFidByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

bool FetchStandIn(const CdnFetchRequest& request, int64_t&) {
  const std::string& fid = request.fid;
  if (fid.empty() || fid[0] == '.' || fid.find("..") != std::string::npos) __builtin_trap();
  for (char c : fid)
    if (!IsFidByte(c)) __builtin_trap();
  return false;
}

CCacheStore& OpenedStore() {
  static CCacheStore store(FuzzDir() + "/cache", 1 << 20);
  static std::string error;
  if (static const bool opened = store.Open(error); !opened) FuzzSetupFailed(error);
  return store;
}

CCdnService& Service() {
  static CCdnService service(OpenedStore(), FetchStandIn, CdnServiceLimits{});
  return service;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > HTTP_MAX_REQUEST_HEAD) return 0;  // the service reads no more
  const std::string head(reinterpret_cast<const char*>(data), size);
  HttpRequestHead request;
  if (!ParseRequestHead(head, request)) return 0;
  if (request.path.empty() || request.path[0] != '/') __builtin_trap();
  const HttpReply reply = RouteRequest(Service(), request, false);
  // The fetch that a look-up starts ends with the input: a thread still
  // starting when the leak check runs would have its strings counted as lost.
  Service().WaitIdle();
  const std::string text = FormatReply(reply, true);
  const std::string length = "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
  if (text.find(length) == std::string::npos || text.size() < reply.body.size() ||
      text.compare(text.size() - reply.body.size(), reply.body.size(), reply.body) != 0)
    __builtin_trap();
  return 0;
}
