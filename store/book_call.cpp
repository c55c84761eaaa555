#include "store/book_call.h"

#include "store/book_file.h"
#include "store/transaction.h"

namespace ovel {

BookCall::BookCall(Client* client, BookAccess access) : locked_(client) {
  Book* book = locked_.book();
  if (!book) {
    PlatformNoteCause(Cause::kInvalidHandle);
    return;
  }
  bool change = access == BookAccess::kChange;
  if (book->transaction) {
    if (change && book->transaction != client) {
      PlatformNoteCause(Cause::kBusy);
      return;
    }
    book_ = book;
    return;
  }
  if (!FindBookFiles(book, &files_)) return;
  book->files = &files_;
  tookLock_ = true;
  // A reader that cannot have the lock (a read-only medium without a lock
  // file) reads all the same: the book file is only ever replaced whole.
  // While this process has a transaction open, no call waits for a lock
  // that may be its own (another Book on the same directory).
  bool locked = PlatformLock(files_.directory, files_.lock, files_.file,
                             change ? LockMode::kExclusive : LockMode::kShared,
                             gOpenTransactions == 0, &book->lock);
  if (change && !locked) return;
  fresh_ = RefreshBook(book);
  if (change && !fresh_) return;
  book_ = book;
}

BookCall::~BookCall() {
  Book* book = locked_.book();
  if (!book || !tookLock_) return;
  PlatformUnlock(&book->lock);
  book->files = nullptr;
}

}  // namespace ovel
