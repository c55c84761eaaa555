// Win32: paths made absolute, resolved and compared.
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "frame/platform.h"

namespace ovel {

bool PlatformIsSeparator(char c) { return c == '\\' || c == '/'; }

namespace {

// Length of the root prefix of an absolute path ("C:\\", "\\\\", "\\"),
// which keeps its separator when trailing separators are dropped.  Its
// characters are all single bytes.
size_t RootLength(const char* path) {
  if (path[0] && path[1] == ':') return PlatformIsSeparator(path[2]) ? 3 : 2;
  if (PlatformIsSeparator(path[0]) && PlatformIsSeparator(path[1])) return 2;
  return PlatformIsSeparator(path[0]) ? 1 : 0;
}

}  // namespace

size_t PlatformTrimmedLength(const char* path) {
  size_t root = RootLength(path);
  // Walked a character at a time: the trail byte of a double-byte
  // character may be 0x5C, a backslash's value.
  size_t end = root;
  for (const char* at = path + root; *at;) {
    const char* next = CharNextA(at);
    if (next == at) break;
    if (next - at > 1 || !PlatformIsSeparator(*at)) end = static_cast<size_t>(next - path);
    at = next;
  }
  return end;
}

void PlatformPathKey(char* path) {
  // The system's own case mapping for its code page; byte-wise upper
  // casing would change trail bytes in 0x61-0x7A and name another file.
  CharUpperBuffA(path, static_cast<DWORD>(strlen(path)));
}

bool PlatformFullPath(char* out, const char* path, size_t outSize) {
  if (_fullpath(out, path, outSize)) return true;
  PlatformNoteCause(Cause::kNameTooLong);
  return false;
}

bool PlatformResolveFile(const char* path, char* out) {
  size_t length = strlen(path);
  if (length + 1 > kPathMax) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  memcpy(out, path, length + 1);
  return true;
}

}  // namespace ovel
