#include "store/book_call.h"

#include "store/book_file.h"

namespace ovel {

BookCall::BookCall(Client* client, BookAccess access) : locked_(client) {
  Book* book = locked_.book();
  if (!book) return;
  bool change = access == BookAccess::kChange;
  if (!FindBookFiles(book, &files_)) return;
  book->files = &files_;
  book->lockFile =
      PlatformLock(files_.lock, files_.file, change ? LockMode::kExclusive : LockMode::kShared);
  if (change && book->lockFile == kNoFile) return;
  fresh_ = RefreshBook(book);
  if (change && !fresh_) return;
  book_ = book;
}

BookCall::~BookCall() {
  Book* book = locked_.book();
  if (!book) return;
  if (book->lockFile != kNoFile) PlatformUnlock(book->lockFile);
  book->lockFile = kNoFile;
  book->files = nullptr;
}

}  // namespace ovel
