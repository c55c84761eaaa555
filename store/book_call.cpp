#include "store/book_call.h"

#include "store/book_file.h"

namespace ovel {

BookCall::BookCall(Client* client, BookAccess access) : locked_(client) {
  Book* book = locked_.book();
  if (!book) {
    PlatformNoteCause(Cause::kInvalidHandle);
    return;
  }
  bool change = access == BookAccess::kChange;
  if (!FindBookFiles(book, &files_)) return;
  book->files = &files_;
  // A reader that cannot have the lock (a read-only medium without a lock
  // file) reads all the same: the book file is only ever replaced whole.
  bool locked = PlatformLock(files_.directory, files_.lock, files_.file,
                             change ? LockMode::kExclusive : LockMode::kShared, &book->lock);
  if (change && !locked) return;
  fresh_ = RefreshBook(book);
  if (change && !fresh_) return;
  book_ = book;
}

BookCall::~BookCall() {
  Book* book = locked_.book();
  if (!book) return;
  PlatformUnlock(&book->lock);
  book->files = nullptr;
}

}  // namespace ovel
