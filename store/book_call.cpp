#include "store/book_call.h"

#include "store/book_file.h"
#include "store/transaction.h"

namespace ovel {

bool EnterBook(Book* book, BookFiles* files, BookAccess access, bool* fresh) {
  *fresh = false;
  if (!FindBookFiles(book, files)) return false;
  book->files = files;
  bool change = access == BookAccess::kChange;
  // A reader that cannot have the lock (a read-only medium without a lock
  // file) reads all the same: the book file is only ever replaced whole.
  // While this process has a transaction open, no call waits for a lock
  // that may be its own (another Book on the same directory).
  bool locked = PlatformLock(files->directory, files->lock, files->file,
                             change ? LockMode::kExclusive : LockMode::kShared,
                             !TransactionOpenHere(), &book->lock);
  if (!change || locked) {
    *fresh = RefreshBook(book);
    if (!change || *fresh) return true;
  }
  LeaveBook(book);
  return false;
}

void LeaveBook(Book* book) {
  PlatformUnlock(&book->lock);
  book->files = nullptr;
}

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
  if (!EnterBook(book, &files_, access, &fresh_)) return;
  tookLock_ = true;
  book_ = book;
}

BookCall::~BookCall() {
  Book* book = locked_.book();
  if (!book || !tookLock_) return;
  LeaveBook(book);
}

}  // namespace ovel
