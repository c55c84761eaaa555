// What the Win32 files of the platform layer share among themselves.
// Nothing above the platform layer includes this.
#pragma once

#include <windows.h>

#include "frame/fault_injection.h"
#include "frame/platform.h"

namespace ovel::win32 {

// True when the armed fault trips here; the failure then looks like the
// system's own, with `error` (a last-error code), noted as the call's cause.
bool Injected(FaultPoint point, DWORD error);

inline HANDLE AsHandle(FileRef file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace ovel::win32
