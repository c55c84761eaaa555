#include "frame/record_chain.h"

#include "frame/book.h"
#include "frame/local_lock.h"

namespace ovel {

LocalRef ChainPush(RecordChain* chain, uint16_t size) {
  if (size < sizeof(ChainLink)) return 0;
  LocalRef handle = PlatformLocalAlloc(size, true);
  if (!handle) return 0;
  LocalLock<ChainLink> record(handle);
  if (!record) {
    PlatformLocalFree(handle);
    return 0;
  }
  record->next = *chain;
  record->self = handle;
  *chain = handle;
  return handle;
}

LocalRef ChainFindBySelf(RecordChain chain, LocalRef handle) {
  if (!handle) return 0;
  // Compares handle values only: a handle is locked once it is known to be
  // a record of this chain.
  for (LocalRef current = chain; current;) {
    if (current == handle) return handle;
    LocalLock<ChainLink> record(current);
    if (!record) return 0;
    current = record->next;
  }
  return 0;
}

LocalRef ChainFindByPath(RecordChain chain, const char* path) {
  ProcessId self = PlatformCurrentProcess();
  for (LocalRef current = chain; current;) {
    LocalLock<Book> book(current);
    if (!book) return 0;
    if (book->process == self && PlatformEqual(book->key, path)) return current;
    current = book->link.next;
  }
  return 0;
}

bool ChainRemove(RecordChain* chain, LocalRef handle) {
  LocalRef previous = 0;
  for (LocalRef current = *chain; current;) {
    LocalRef next;
    {
      LocalLock<ChainLink> record(current);
      if (!record) return false;
      next = record->next;
    }
    if (current == handle) {
      if (previous) {
        LocalLock<ChainLink> before(previous);
        before->next = next;
      } else {
        *chain = next;
      }
      PlatformLocalFree(handle);
      return true;
    }
    previous = current;
    current = next;
  }
  return false;
}

}  // namespace ovel
