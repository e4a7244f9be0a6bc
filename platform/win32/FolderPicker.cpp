#include "platform/FolderPicker.h"

#include <windows.h>
#include <shlobj.h>

namespace platform {
namespace {

// Selects the preset folder once the picker's tree exists.
int CALLBACK SelectPreset(HWND picker, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data) SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

class CShellFolderPicker final : public IFolderPicker {
 public:
  std::optional<std::string> PickFolder(const std::string& title,
                                        const std::string& selected) override {
    // The picker's tree needs the component library on this thread; an
    // earlier initialisation in another mode still lets it work.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOA info = {};
    info.hwndOwner = GetDesktopWindow();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = SelectPreset;
    info.lParam = selected.empty() ? 0 : reinterpret_cast<LPARAM>(selected.c_str());
    std::optional<std::string> chosen;
    if (LPITEMIDLIST item = SHBrowseForFolderA(&info)) {
      char path[MAX_PATH] = "";
      if (SHGetPathFromIDListA(item, path) && path[0]) chosen = path;
      CoTaskMemFree(item);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return chosen;
  }
};

}  // namespace

IFolderPicker& SystemFolderPicker() {
  static CShellFolderPicker picker;
  return picker;
}

}  // namespace platform
