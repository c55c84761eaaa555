#include "frame/book.h"

#include <cstring>

#include "frame/local_lock.h"

namespace ovel {

RecordChain gBookChain;

namespace {

// Forms the sharing key of a directory in `key`: its absolute path, upper
// case where file names ignore case, with exactly one separator at the end
// (a root keeps its own and gains a second).  False when it does not fit
// with the book file's name.
bool FormBookPath(const char* directory, char* given, char* key) {
  size_t length = strlen(directory);
  if (length >= kPathMax) return false;
  memcpy(given, directory, length + 1);
  if (!PlatformFullPath(key, given, kPathMax)) return false;
  PlatformPathKey(key);
  length = strlen(key);
  size_t root = PlatformRootLength(key);
  while (length > root && PlatformIsSeparator(key[length - 1])) --length;
  if (length + 1 + kLongestFileName + 1 > kPathMax) return false;
  key[length++] = kPathSeparator;
  key[length] = '\0';
  return true;
}

}  // namespace

LocalRef OpenBook(const char* directory) {
  LocalRef scratch = PlatformLocalAlloc(2 * kPathMax, false);
  if (!scratch) return 0;
  LocalRef result = 0;
  {
    LocalLock<char> paths(scratch);
    char* key = paths.get() + kPathMax;
    if (paths && FormBookPath(directory, paths.get(), key)) {
      result = ChainFindByPath(gBookChain, key);
      if (!result) result = ChainPush(&gBookChain, sizeof(Book));
      if (result) {
        LocalLock<Book> book(result);
        if (book->clientCount++ == 0) {
          book->nextId = 1;
          book->lockFile = kNoFile;
          memcpy(book->path, key, strlen(key) + 1);
        }
      }
    }
  }
  PlatformLocalFree(scratch);
  return result;
}

void CloseBook(LocalRef bookHandle) {
  if (!ChainFindBySelf(gBookChain, bookHandle)) return;
  int32_t remaining;
  {
    LocalLock<Book> book(bookHandle);
    if (!book) return;
    remaining = --book->clientCount;
  }
  if (remaining == 0) ChainRemove(&gBookChain, bookHandle);
}

void BookFilePath(const Book* book, char* out) {
  size_t length = strlen(book->path);
  memcpy(out, book->path, length);
  memcpy(out + length, kBookFileName, sizeof kBookFileName);
}

}  // namespace ovel
