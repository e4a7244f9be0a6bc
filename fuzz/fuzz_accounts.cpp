// Velmora.data: the remembered accounts.
#include "FuzzFiles.h"
#include "store/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CSettingsStore store(FuzzDir());
  const std::string path = WriteInput("Velmora.data", data, size);
  store.Load(path);
  store.FindAccount("www.velmora.cn", 80);
  return 0;
}
