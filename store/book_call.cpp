#include "store/book_call.h"

#include "store/book_file.h"

namespace ovel {

BookCall::BookCall(Client* client, BookAccess access)
    : locked_(ClientIsOpen(client) ? client : nullptr) {
  Book* book = locked_.book();
  if (!book || access == BookAccess::kMemory) {
    book_ = book;
    return;
  }
  bool change = access == BookAccess::kChange;
  book->lockFile = LockBookFile(book, change ? LockMode::kExclusive : LockMode::kShared);
  if (change && book->lockFile == kNoFile) return;
  fresh_ = RefreshBook(book);
  if (change && !fresh_) return;
  book_ = book;
}

BookCall::~BookCall() {
  Book* book = locked_.book();
  if (!book || book->lockFile == kNoFile) return;
  PlatformUnlock(book->lockFile);
  book->lockFile = kNoFile;
}

}  // namespace ovel
