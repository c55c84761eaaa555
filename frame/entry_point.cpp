// The DLL entry point: loading and unloading do no work; all state is made
// by the first OvelInitialize.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
