// VelmoraURL.dat: the window position and the resource directory.
#include "FuzzFiles.h"
#include "store/FileListStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFileListStore store;
  store.SetDataDir(FuzzDir());
  WriteInput("VelmoraURL.dat", data, size);
  store.LoadState();
  return 0;
}
