#include "app/SharedState.h"

#include <cstdlib>
#include <cstring>

namespace {

std::string SlotText(const char (&slot)[DOWNLOAD_SLOT_SIZE]) {
  return std::string(slot, strnlen(slot, DOWNLOAD_SLOT_SIZE));
}

bool FitsSlot(const std::string& fid) {
  return !fid.empty() && fid.size() < DOWNLOAD_SLOT_SIZE &&
         fid.find('\0') == std::string::npos;
}

// What a host name or a dotted address is made of; a LAN peer's address is
// put into URLs and onto the video viewer's command line.
const char kHostNameCharacters[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.";

}  // namespace

bool ClaimSlot(SharedState& state, const std::string& fid) {
  if (!FitsSlot(fid)) return false;
  int freeSlot = -1;
  for (int i = 0; i < DOWNLOAD_SLOT_COUNT; ++i) {
    if (SlotText(state.szDownloading[i]) == fid) return false;
    if (freeSlot < 0 && state.szDownloading[i][0] == '\0') freeSlot = i;
  }
  if (freeSlot < 0) return false;
  memcpy(state.szDownloading[freeSlot], fid.c_str(), fid.size() + 1);
  ++state.nDownloading;
  return true;
}

bool ReleaseSlot(SharedState& state, const std::string& fid) {
  if (!FitsSlot(fid)) return false;
  for (auto& slot : state.szDownloading) {
    if (SlotText(slot) != fid) continue;
    memset(slot, 0, DOWNLOAD_SLOT_SIZE);
    --state.nDownloading;
    return true;
  }
  return false;
}

// Without a lock the two fields may be seen apart for a moment; each order
// of writing errs on the side of an announced server.
bool StoreCdnServer(SharedState& state, const std::string& server) {
  if (server.size() >= CDN_SERVER_SIZE) return false;
  memcpy(state.szCdnServer, server.c_str(), server.size() + 1);
  state.bCdnServerAnnounced = 0;
  return true;
}

bool StoreAnnouncedCdnServer(SharedState& state, const std::string& server) {
  if (server.size() >= CDN_SERVER_SIZE) return false;
  state.bCdnServerAnnounced = 1;
  memcpy(state.szCdnServer, server.c_str(), server.size() + 1);
  return true;
}

bool IsCdnServerAnnounced(const SharedState& state) { return state.bCdnServerAnnounced != 0; }

bool IsCdnServerAddress(const std::string& server) {
  if (server.empty() || server.size() >= CDN_SERVER_SIZE) return false;
  const size_t colon = server.find(':');
  const std::string host = server.substr(0, colon);
  if (host.empty() || host.find_first_not_of(kHostNameCharacters) != std::string::npos)
    return false;
  if (colon == std::string::npos) return true;
  const std::string port = server.substr(colon + 1);
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
    return false;
  long value = strtol(port.c_str(), nullptr, 10);
  return value >= 1 && value <= 65535;
}

std::string ReadCdnServer(const SharedState& state) {
  return std::string(state.szCdnServer, strnlen(state.szCdnServer, CDN_SERVER_SIZE));
}

CSharedBlock::CSharedBlock(const std::string& name) : m_pState(&m_local) {
  if (m_memory.Open(name, sizeof(SharedState)))
    m_pState = static_cast<SharedState*>(m_memory.Data());
}
