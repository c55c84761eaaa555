// POSIX: comparing strings byte for byte.  The case-insensitive order is
// the same on every system (sort_order_1252.cpp).
#include <string.h>

#include "frame/platform.h"

namespace ovel {

bool PlatformEqual(const char* a, const char* b) { return strcmp(a, b) == 0; }

}  // namespace ovel
