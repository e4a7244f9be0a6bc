// Stand-in of the plug-in's image library: only has to exist and load.
#include <windows.h>

extern "C" __declspec(dllexport) int __cdecl CxImageVersion() { return 1; }
