// Win32: replacing a book by its new file in one step that returns once it
// is on disk (MoveFileExA with MOVEFILE_WRITE_THROUGH).
#include "frame/platform/win32_internal.h"

namespace ovel {

using win32::Injected;

bool PlatformMayReplace(const char* target) {
  // Wine does not refuse to replace a read-only file; Windows does.
  DWORD attributes = GetFileAttributesA(target);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return true;
  PlatformNoteCause(Cause::kReadOnlyBook);
  return false;
}

namespace {

bool IsRefusedByAnotherProgram(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION;
}

// Retries an operation that an indexer or a virus scanner holding the file
// open for a moment may refuse.
template <typename Operation>
bool Retried(Operation operation) {
  for (int attempt = 0;; ++attempt) {
    if (operation()) return true;
    if (attempt == 4 || !IsRefusedByAnotherProgram(GetLastError())) return false;
    Sleep(20 << attempt);
  }
}

// Gives `file` the attributes and the security (owner, group and access
// list, as far as the caller may set them) of `like`, which it is about to
// replace.
void TakeAttributesAndSecurity(const char* file, const char* like) {
  DWORD attributes = GetFileAttributesA(like);
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kept)) {
    SetFileAttributesA(file, attributes & kept);
  }
  alignas(8) char descriptor[4096];
  DWORD needed = 0;
  SECURITY_INFORMATION all =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (GetFileSecurityA(like, all, descriptor, sizeof descriptor, &needed) &&
      !SetFileSecurityA(file, all, descriptor)) {
    SetFileSecurityA(file, DACL_SECURITY_INFORMATION, descriptor);
  }
}

}  // namespace

bool PlatformReplaceDurably(const char* source, const char* target, const char* directory,
                            bool* undoFailed) {
  *undoFailed = false;
  if (Injected(FaultPoint::kRename, ERROR_WRITE_FAULT)) return false;
  // One move replaces the book, and MOVEFILE_WRITE_THROUGH returns once it
  // is on disk: a crash leaves the old book or the new one.  (ReplaceFileA
  // would keep attributes and security itself, but it moves the old book
  // aside and the new one in as two steps, between which a crash leaves
  // no book.)
  TakeAttributesAndSecurity(source, target);
  bool moved = Retried([&] {
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  });
  if (!moved) {
    PlatformNoteSystemError();
    return false;
  }
  RecordFileOp(FileOp::kRename, source, target);
  RecordFileOp(FileOp::kFlushDirectory, directory);
  return true;
}

}  // namespace ovel
