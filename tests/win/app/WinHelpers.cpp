#include "WinHelpers.h"

#include <objbase.h>
#include <shlobj.h>

#include "platform/CodePage.h"

std::string ShellLinkTarget(const std::string& linkFile) {
  std::string target;
  HRESULT init = CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 (void**)&link))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
      std::u16string wide = platform::AnsiToWide(linkFile);
      char path[MAX_PATH] = {};
      if (SUCCEEDED(file->Load((LPCOLESTR)wide.c_str(), STGM_READ)) &&
          SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0)))
        target = path;
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return target;
}
