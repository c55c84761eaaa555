#include "frame/book.h"

#include <cstring>

#include "frame/local_lock.h"

namespace ovel {

RecordChain gBookChain;

namespace {

// Forms the absolute path of a directory in `path`, as the caller spelt it,
// with exactly one separator at the end (a root keeps its own and gains a
// second), and its sharing key in `key`: the same, upper case where file
// names ignore case.  False when it does not fit with the book file's name.
bool FormBookPath(const char* directory, char* given, char* path, char* key) {
  size_t length = strlen(directory);
  if (length >= kPathMax) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  memcpy(given, directory, length + 1);
  if (!PlatformFullPath(path, given, kPathMax)) return false;
  length = PlatformTrimmedLength(path);
  if (length + 1 + kLongestFileName + 1 > kPathMax) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  path[length++] = kPathSeparator;
  path[length] = '\0';
  memcpy(key, path, length + 1);
  PlatformPathKey(key);
  return true;
}

}  // namespace

LocalRef OpenBook(const char* directory) {
  LocalRef scratch = PlatformLocalAlloc(3 * kPathMax, false);
  if (!scratch) return 0;
  LocalRef result = 0;
  {
    LocalLock<char> paths(scratch);
    char* path = paths ? paths.get() + kPathMax : nullptr;
    char* key = paths ? path + kPathMax : nullptr;
    if (paths && FormBookPath(directory, paths.get(), path, key)) {
      result = ChainFindByPath(gBookChain, key);
      if (!result) result = ChainPush(&gBookChain, sizeof(Book));
      if (result) {
        LocalLock<Book> book(result);
        if (book->clientCount++ == 0) {
          book->process = PlatformCurrentProcess();
          book->nextId = 1;
          book->lock = kNoLock;
          memcpy(book->path, path, strlen(path) + 1);
          memcpy(book->key, key, strlen(key) + 1);
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
