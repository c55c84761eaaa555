// Win32: comparing strings, with the system's own functions.
#include <windows.h>

#include "frame/platform.h"

namespace ovel {

int PlatformCompareNoCase(const char* a, const char* b) { return lstrcmpiA(a, b); }

bool PlatformEqual(const char* a, const char* b) { return lstrcmpA(a, b) == 0; }

}  // namespace ovel
