// POSIX: paths made absolute, resolved and compared.
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "frame/platform.h"

namespace ovel {

bool PlatformIsSeparator(char c) { return c == '/'; }

size_t PlatformTrimmedLength(const char* path) {
  size_t length = strlen(path);
  while (length > 1 && path[length - 1] == '/') --length;
  return length;
}

void PlatformPathKey(char*) {}

namespace {

// Appends the components of `source` to the absolute path in `out`, by
// text: "." is dropped and ".." removes the last component.
bool AppendLexically(char* out, size_t* length, const char* source, size_t outSize) {
  const char* p = source;
  while (*p) {
    while (*p == '/') ++p;
    const char* start = p;
    while (*p && *p != '/') ++p;
    size_t n = static_cast<size_t>(p - start);
    if (n == 0 || (n == 1 && start[0] == '.')) continue;
    if (n == 2 && start[0] == '.' && start[1] == '.') {
      while (*length > 1 && out[*length - 1] != '/') --*length;
      if (*length > 1) --*length;  // the separator before the component
      out[*length] = '\0';
      continue;
    }
    size_t needed = (*length > 1 ? 1 : 0) + n;
    if (*length + needed + 1 > outSize) return false;
    if (*length > 1) out[(*length)++] = '/';
    memcpy(out + *length, start, n);
    *length += n;
    out[*length] = '\0';
  }
  return true;
}

}  // namespace

bool PlatformFullPath(char* out, const char* path, size_t outSize) {
  if (outSize < 2) return false;
  // The path as given, made absolute without resolving anything.
  char joined[kPathMax];
  size_t length = 0;
  if (path[0] != '/') {
    if (!getcwd(joined, sizeof joined)) return false;
    length = strlen(joined);
    if (length + 1 >= sizeof joined) return false;
    joined[length++] = '/';
  }
  size_t pathLength = strlen(path);
  if (length + pathLength + 1 > sizeof joined) return false;
  memcpy(joined + length, path, pathLength + 1);
  length += pathLength;

  // The longest leading part that the system resolves (through symbolic
  // links, so that "link/.." is where the system would go) ...
  char resolved[PATH_MAX];
  size_t prefix = length;
  for (;;) {
    char saved = joined[prefix];
    joined[prefix] = '\0';
    bool found = realpath(prefix ? joined : "/", resolved) != nullptr;
    joined[prefix] = saved;
    if (found) break;
    while (prefix > 0 && joined[prefix - 1] == '/') --prefix;
    while (prefix > 0 && joined[prefix - 1] != '/') --prefix;
    if (prefix == 0) {
      resolved[0] = '/';
      resolved[1] = '\0';
      break;
    }
  }
  // ... and the rest by text.
  size_t resolvedLength = strlen(resolved);
  if (resolvedLength + 1 > outSize) return false;
  memcpy(out, resolved, resolvedLength + 1);
  return AppendLexically(out, &resolvedLength, joined + prefix, outSize);
}

bool PlatformResolveFile(const char* path, char* out) {
  size_t length = strlen(path);
  if (length + 1 > kPathMax) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  memcpy(out, path, length + 1);
  // Linux gives up after 40 links; so does this.
  for (int links = 0; links < 40; ++links) {
    char target[kPathMax];
    ssize_t n = readlink(out, target, sizeof target - 1);
    if (n < 0 && links > 0 && (errno == ENOENT || errno == ENOTDIR)) {
      // A link that names nothing: no book is made through it, in a
      // directory that whoever planted the link may not write.
      PlatformNoteCause(Cause::kNotFound);
      return false;
    }
    if (n < 0) return true;  // not a link (or missing): the file itself
    target[n] = '\0';
    size_t keep = 0;  // a relative target is relative to the link's directory
    if (target[0] != '/') {
      for (size_t i = 0; out[i]; ++i) {
        if (out[i] == '/') keep = i + 1;
      }
    }
    if (keep + static_cast<size_t>(n) + 1 > kPathMax) {
      PlatformNoteCause(Cause::kNameTooLong);
      return false;
    }
    memcpy(out + keep, target, static_cast<size_t>(n) + 1);
  }
  errno = ELOOP;
  PlatformNoteSystemError();
  return false;
}

}  // namespace ovel
