// Stand-in of an Office add-in (built twice, as VelmoraAddInDoc.dll and
// VelmoraAddInPpt.dll): registration records itself and writes a key under
// the current user, so that a test sees the system's regsvr32 ran it.
#include "../standin/StandInLog.h"

namespace {

HMODULE g_module = nullptr;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
  const std::string name = ModuleName(g_module);
  RecordStandIn(name, "DllRegisterServer");
  HKEY key = nullptr;
  std::string path = "Software\\VelmoraTestbed\\Registered\\" + name;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) == ERROR_SUCCESS)
    RegCloseKey(key);
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() { return S_OK; }
