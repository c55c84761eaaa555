// Win32: replacing a book by its new file in one step that returns once it
// is on disk (MoveFileExA with MOVEFILE_WRITE_THROUGH).
#include <string.h>

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

// The security of `path` as `what` names it, in a buffer of the size the
// system asks for (a long access list is copied whole); the caller frees
// it with HeapFree.  Null when it cannot be read.
PSECURITY_DESCRIPTOR ReadSecurity(const char* path, SECURITY_INFORMATION what) {
  DWORD needed = 0;
  GetFileSecurityA(path, what, nullptr, 0, &needed);
  // The descriptor may grow between the two calls: ask again then.
  for (int attempt = 0; attempt < 3 && needed > 0; ++attempt) {
    void* descriptor = HeapAlloc(GetProcessHeap(), 0, needed);
    if (descriptor == nullptr) return nullptr;
    if (GetFileSecurityA(path, what, descriptor, needed, &needed)) return descriptor;
    HeapFree(GetProcessHeap(), 0, descriptor);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return nullptr;
  }
  return nullptr;
}

// True when the access list lets everyone (the World SID) in; a missing
// access list lets everyone in.
bool LetsEveryoneIn(PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL list = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted)) return true;
  if (!present || list == nullptr) return true;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  alignas(8) char everyone[SECURITY_MAX_SID_SIZE];
  InitializeSid(everyone, &world, 1);
  *GetSidSubAuthority(everyone, 0) = SECURITY_WORLD_RID;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* entry = nullptr;
    if (!GetAce(list, i, reinterpret_cast<void**>(&entry))) continue;
    if (entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && entry->Mask != 0 &&
        EqualSid(&entry->SidStart, everyone)) {
      return true;
    }
  }
  return false;
}

// True when both descriptors name the same owner and group and hold the
// same access list.
bool SameSecurity(PSECURITY_DESCRIPTOR one, PSECURITY_DESCRIPTOR other) {
  PSID sids[2][2] = {};
  PACL lists[2] = {};
  BOOL present[2] = {}, defaulted = FALSE;
  PSECURITY_DESCRIPTOR both[2] = {one, other};
  for (int i = 0; i < 2; ++i) {
    if (!GetSecurityDescriptorOwner(both[i], &sids[i][0], &defaulted) ||
        !GetSecurityDescriptorGroup(both[i], &sids[i][1], &defaulted) ||
        !GetSecurityDescriptorDacl(both[i], &present[i], &lists[i], &defaulted)) {
      return false;
    }
  }
  for (int k = 0; k < 2; ++k) {
    if ((sids[0][k] == nullptr) != (sids[1][k] == nullptr)) return false;
    if (sids[0][k] != nullptr && !EqualSid(sids[0][k], sids[1][k])) return false;
  }
  if (present[0] != present[1] || (lists[0] == nullptr) != (lists[1] == nullptr)) return false;
  return lists[0] == nullptr ||
         (lists[0]->AclSize == lists[1]->AclSize && lists[0]->AceCount == lists[1]->AceCount &&
          memcmp(lists[0], lists[1], lists[0]->AclSize) == 0);
}

// Gives `file` the attributes and the security (owner, group and access
// list, as far as the caller may set them) of `like`, which it is about to
// replace.  The security is written only where it differs: Wine keeps a
// file's security as its POSIX mode and writes an access list entry for
// the caller to the owner's and the group's bits alike (a book of mode
// 0600 would become 0770).  So a book that does not let everyone in first
// makes the new file the owner's alone (an empty access list, then the
// attributes: Wine gives the owner read and write back, 0600), which
// Windows then replaces by the book's access list.
void TakeAttributesAndSecurity(const char* file, const char* like) {
  const SECURITY_INFORMATION all =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  PSECURITY_DESCRIPTOR wanted = ReadSecurity(like, all);
  if (wanted != nullptr && !LetsEveryoneIn(wanted)) {
    SECURITY_DESCRIPTOR empty;
    ACL none;
    if (InitializeSecurityDescriptor(&empty, SECURITY_DESCRIPTOR_REVISION) &&
        InitializeAcl(&none, sizeof none, ACL_REVISION) &&
        SetSecurityDescriptorDacl(&empty, TRUE, &none, FALSE)) {
      SetFileSecurityA(file, DACL_SECURITY_INFORMATION, &empty);
    }
  }
  // Windows lets even the owner of a file with an empty access list change
  // its security only: the attributes are set again after it.
  DWORD attributes = GetFileAttributesA(like);
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  attributes = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & kept;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  bool attributesSet = SetFileAttributesA(file, attributes);
  if (wanted == nullptr) return;
  PSECURITY_DESCRIPTOR has = ReadSecurity(file, all);
  if (has == nullptr || !SameSecurity(has, wanted)) {
    // Owner and group need a right the empty access list does not give:
    // they are tried again once the book's access list is in place.
    if (!SetFileSecurityA(file, all, wanted) &&
        SetFileSecurityA(file, DACL_SECURITY_INFORMATION, wanted)) {
      SetFileSecurityA(file, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, wanted);
    }
  }
  if (!attributesSet) SetFileAttributesA(file, attributes);
  if (has != nullptr) HeapFree(GetProcessHeap(), 0, has);
  HeapFree(GetProcessHeap(), 0, wanted);
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
