#include "platform/ShellLink.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "platform/CodePage.h"

namespace platform {
namespace {

int FolderId(SpecialFolder folder) {
  return folder == SpecialFolder::Desktop ? CSIDL_DESKTOPDIRECTORY : CSIDL_STARTMENU;
}

// Saves an initialised link object under `linkFile`.
bool SaveLinkObject(IShellLinkA* link, const std::string& linkFile) {
  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, (void**)&file))) return false;
  std::u16string wide = AnsiToWide(linkFile);
  HRESULT hr = file->Save((LPCOLESTR)wide.c_str(), TRUE);
  file->Release();
  return SUCCEEDED(hr);
}

class Win32ShortcutShell final : public IShortcutShell {
 public:
  bool GetSpecialFolder(SpecialFolder folder, std::string& path) override {
    char buffer[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, buffer, FolderId(folder), FALSE) || !buffer[0])
      return false;
    path = buffer;
    return true;
  }

  bool SaveShellLink(const std::string& target, const std::string& linkFile,
                     const std::string& description, uint16_t hotkey) override {
    HRESULT init = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    bool saved = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IShellLinkA, (void**)&link))) {
      link->SetPath(target.c_str());
      link->SetDescription(description.c_str());
      if (hotkey != 0) link->SetHotkey(hotkey);
      saved = SaveLinkObject(link, linkFile);
      link->Release();
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return saved;
  }

  bool FileExists(const std::string& path) override {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool RemoveFile(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }
  bool CopyFileOver(const std::string& from, const std::string& to) override {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
  }
};

}  // namespace

IShortcutShell& SystemShortcutShell() {
  static Win32ShortcutShell shell;
  return shell;
}

}  // namespace platform
