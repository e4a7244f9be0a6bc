// filelist.dat of an account.
#include "FuzzFiles.h"
#include "store/FileListStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFileListStore store;
  store.SetDataDir(FuzzDir());
  store.SetUserId(42);
  platform::CreateDir(FuzzDir() + "\\00000042");
  WriteInput("00000042\\filelist.dat", data, size);
  store.LoadList();
  store.FindHash("1001");
  return 0;
}
