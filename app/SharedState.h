#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Sync.h"

// Names of the objects that all processes of the program share.
inline constexpr char INSTANCE_MUTEX_NAME[] = "VelmoraUrl HasRun for url...";
inline constexpr char SLOT_MUTEX_NAME[] = "velmoraurl mutex_fileid 1.0";
inline constexpr char SHARED_BLOCK_NAME[] = "velmoraurl shared state 1.0";

inline constexpr int DOWNLOAD_SLOT_COUNT = 5;
inline constexpr size_t DOWNLOAD_SLOT_SIZE = 260;  // a fid with its terminator
inline constexpr size_t CDN_SERVER_SIZE = 260;     // host:port with its terminator

// The block that every process of the program sees; zero at first use.
struct SharedState {
  char szDownloading[DOWNLOAD_SLOT_COUNT][DOWNLOAD_SLOT_SIZE];  // fids being downloaded
  int32_t nDownloading;       // occupied slots
  int32_t bInstallingViewer;  // some process installs the video viewer
  char szCdnServer[CDN_SERVER_SIZE];  // host:port, empty until one is known
  int32_t bCdnServerAnnounced;  // learnt from a broadcast alone, not set by IT or the user
};

// The slot operations; the caller holds the slot mutex. A fid is claimed
// once: the claim fails when it is being downloaded already, when every slot
// is taken, and for a fid that is empty or does not fit a slot.
bool ClaimSlot(SharedState& state, const std::string& fid);
// Frees the slot of a claimed fid; false when no slot holds it.
bool ReleaseSlot(SharedState& state, const std::string& fid);

// The CDN server is read and written without a lock; a text that does not fit
// is not stored, and a read never runs past the field.
bool StoreCdnServer(SharedState& state, const std::string& server);
// The same for a server that only announced itself on the LAN: any machine
// there can, so programs are not taken from it.
bool StoreAnnouncedCdnServer(SharedState& state, const std::string& server);
bool IsCdnServerAnnounced(const SharedState& state);
// A CDN server as it may be stored: it fits the field and is a host name or
// address (letters, digits, '-' and '.') with an optional ":port" (1-65535).
bool IsCdnServerAddress(const std::string& server);
std::string ReadCdnServer(const SharedState& state);

// The shared block of this process: the named block, or a block of its own
// when the system gives none (the process then works alone).
class CSharedBlock {
 public:
  explicit CSharedBlock(const std::string& name);
  SharedState& State() { return *m_pState; }
  bool IsShared() const { return m_memory.Data() != nullptr; }

 private:
  platform::CSharedMemory m_memory;
  SharedState m_local{};
  SharedState* m_pState;
};
