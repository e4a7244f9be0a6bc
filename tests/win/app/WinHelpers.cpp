#include "WinHelpers.h"

#include <objbase.h>
#include <shlobj.h>

#include "platform/CodePage.h"

ShellLinkInfo ReadShellLink(const std::string& linkFile) {
  ShellLinkInfo info;
  HRESULT init = CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 (void**)&link))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
      std::u16string wide = platform::AnsiToWide(linkFile);
      char path[MAX_PATH] = {}, description[MAX_PATH] = {};
      if (SUCCEEDED(file->Load((LPCOLESTR)wide.c_str(), STGM_READ)) &&
          SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0))) {
        info.target = path;
        link->GetDescription(description, MAX_PATH);
        info.description = description;
        link->GetHotkey(&info.hotkey);
      }
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return info;
}
