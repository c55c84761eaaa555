// Win32: comparing strings, with the system's own function.  The
// case-insensitive order is the same on every system (sort_order_1252.cpp).
#include <windows.h>

#include "frame/platform.h"

namespace ovel {

bool PlatformEqual(const char* a, const char* b) { return lstrcmpA(a, b) == 0; }

}  // namespace ovel
