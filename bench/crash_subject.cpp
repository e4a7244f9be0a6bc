// The subject of bench/crash_trials.py, which kills it at random moments:
//   crash_subject download <url> <file>     whole-file download, resumed
//   crash_subject segmented <url> <dir>     segmented download into <dir>\data.bin
//   crash_subject save <store> <dir> <n>    saves generations 1..n of a store in turn
//   crash_subject check <store> <dir>       prints the generation the store loads
// <store> is list (filelist.dat), accounts (Velmora.data) or state
// (VelmoraURL.dat). Generation g has a content of its own whose size grows
// with g, so a cut file cannot pass for a whole one. Exit 0 on success.
// The work prints "progress <done> <total>" lines (a download at each
// hundredth, a save loop after each save), by which the trials time the kill.
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "net/WebClient.h"
#include "store/FileListStore.h"
#include "store/SegmentedDownloader.h"
#include "store/SettingsStore.h"

namespace {

std::mutex g_progressLock;
int64_t g_lastHundredth = -1;

void PrintProgress(int64_t done, int64_t total) {
  std::printf("progress %lld %lld\n", static_cast<long long>(done), static_cast<long long>(total));
  std::fflush(stdout);
}

// From the segmented download's workers too.
void DownloadProgress(int64_t total, int64_t done) {
  if (total <= 0) return;
  std::lock_guard<std::mutex> lock(g_progressLock);
  const int64_t hundredth = done * 100 / total;
  if (hundredth == g_lastHundredth) return;
  g_lastHundredth = hundredth;
  PrintProgress(done, total);
}

void WholeProgress(int64_t total, int64_t received, void*) { DownloadProgress(total, received); }

void SegmentedProgress(int64_t total, int64_t done, int kind, void*) {
  if (kind == SDN_PROGRESS) DownloadProgress(total, done);
}

int EntryCount(int generation) { return 20 + generation % 50; }
std::string Mark(int generation) { return "generation " + std::to_string(generation); }

void FillList(CFileListStore& store, int generation) {
  store.m_entries.clear();
  for (int i = 0; i < EntryCount(generation); ++i)
    store.SetHash(std::to_string(1000 + i), Mark(generation));
}

// The generation whose content the list holds whole, or -1.
int ListGeneration(CFileListStore& store) {
  if (!store.LoadList() || store.m_entries.empty()) return -1;
  const std::string mark = store.m_entries.front().m_strHash;
  int generation = std::atoi(mark.c_str() + mark.find(' ') + 1);
  if ((int)store.m_entries.size() != EntryCount(generation)) return -1;
  for (const FileListEntry& entry : store.m_entries)
    if (entry.m_strHash != Mark(generation)) return -1;
  return generation;
}

void FillAccounts(CSettingsStore& store, int generation) {
  store.m_accounts.clear();
  for (int i = 0; i < EntryCount(generation) / 10 + 1; ++i)
    store.UpdateAccount("host" + std::to_string(i), 80 + i, "user", Mark(generation), 1, 0, 0,
                        generation, 7, Mark(generation));
  store.m_nLastPort = generation;
}

int AccountsGeneration(CSettingsStore& store) {
  if (!store.Load() || store.m_accounts.empty()) return -1;
  const int generation = store.m_nLastPort;
  if ((int)store.m_accounts.size() != EntryCount(generation) / 10 + 1) return -1;
  for (const CServerAccount& account : store.m_accounts)
    if (account.m_strPassword != Mark(generation) || account.m_nUserId != generation) return -1;
  return generation;
}

void FillState(CFileListStore& store, int generation) {
  store.m_nWindowLeft = generation;
  store.m_nWindowTop = -generation;
  store.m_strResourceDir = std::string(EntryCount(generation), 'd') + Mark(generation);
}

int StateGeneration(CFileListStore& store) {
  if (!store.LoadState()) return -1;
  const int generation = store.m_nWindowLeft;
  if (store.m_nWindowTop != -generation ||
      store.m_strResourceDir != std::string(EntryCount(generation), 'd') + Mark(generation))
    return -1;
  return generation;
}

int Stores(const std::string& store, const std::string& dir, int generations) {
  CFileListStore list;
  list.SetDataDir(dir);
  list.SetUserId(42);
  platform::CreateDir(dir + "\\00000042");
  CSettingsStore accounts(dir);
  for (int g = 1; g <= generations; ++g) {
    bool saved = false;
    if (store == "list") FillList(list, g), saved = list.SaveList();
    if (store == "accounts") FillAccounts(accounts, g), saved = accounts.Save();
    if (store == "state") FillState(list, g), saved = list.SaveState();
    if (!saved) return 1;
    if (generations > 1) PrintProgress(g, generations);
  }
  if (generations > 0) return 0;
  int generation = -1;
  if (store == "list") generation = ListGeneration(list);
  if (store == "accounts") generation = AccountsGeneration(accounts);
  if (store == "state") generation = StateGeneration(list);
  std::printf("%d\n", generation);
  return generation > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string mode = argv[1];
  CWebClient::StartupSockets();
  if (mode == "download") {
    CWebClient client;
    client.m_pfnProgress = &WholeProgress;
    return client.Download(argv[2], argv[3]) ? 0 : 1;
  }
  if (mode == "segmented") {
    CSegmentedDownloader downloader;
    downloader.m_pfnNotify = &SegmentedProgress;
    bool done = downloader.Start(argv[2], argv[3], "data.bin", 10) && downloader.Finish(true, -1);
    return done ? 0 : 1;
  }
  if (mode == "save" && argc > 4) return Stores(argv[2], argv[3], std::atoi(argv[4]));
  if (mode == "check") return Stores(argv[2], argv[3], 0);
  return 2;
}
