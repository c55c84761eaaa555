#include "store/book_file.h"

#include <cstdint>
#include <cstring>

#include "frame/allocator.h"
#include "frame/platform.h"

namespace ovel {

void ReadSaves(const Book* book, BookVersion* version) {
  version->saves = 0;
  version->savesKnown = PlatformReadLockCount(book->lock, &version->saves);
}

namespace {

bool SameVersion(const BookVersion& a, const BookVersion& b) {
  return a.file == b.file && (!a.savesKnown || !b.savesKnown || a.saves == b.saves);
}

// Reads up to kMaxBookFileSize bytes of the book file into a new block, and
// the version it is.
BookStatus ReadBookFile(const Book* book, const char* path, uint8_t** data, size_t* size,
                        bool* missing, BookVersion* version) {
  ReadSaves(book, version);
  version->file = {};
  FileRef file;
  OpenResult opened = PlatformOpenRead(path, &file, &version->file);
  *missing = opened == OpenResult::kMissing;
  if (opened != OpenResult::kOpened) return *missing ? kBookLoaded : kBookUnreadable;

  BookStatus status = kBookUnreadable;
  int64_t length = version->file.size;
  if (length == 0) PlatformNoteCause(Cause::kMalformedBook);
  if (length > 0) {
    uint32_t capacity =
        length < kMaxBookFileSize ? static_cast<uint32_t>(length) : kMaxBookFileSize;
    uint8_t* buffer = static_cast<uint8_t*>(AllocScratchBlock(capacity));
    if (!buffer) {
      status = kBookNoMemory;
    } else {
      long got = PlatformRead(file, buffer, capacity);
      if (got < 0) {
        FreeBlock(buffer);
      } else {
        *data = buffer;
        *size = static_cast<size_t>(got);
        status = kBookLoaded;
      }
    }
  }
  PlatformCloseRead(file);
  return status;
}

// Reads and parses the book file.
BookStatus ReadBook(const Book* book, ParsedBook* parsed, BookVersion* version) {
  *parsed = {};
  if (!book->files) return kBookUnreadable;
  uint8_t* data = nullptr;
  size_t size = 0;
  bool missing = false;
  BookStatus status = ReadBookFile(book, book->files->file, &data, &size, &missing, version);
  if (status != kBookLoaded || missing) return status;
  status = ParseBook(data, size, parsed);
  FreeBlock(data);
  if (status == kBookUnreadable) PlatformNoteCause(Cause::kMalformedBook);
  return status;
}

// Makes a parsed book the Book's entry list.
void InstallBook(Book* book, const ParsedBook& parsed, const BookVersion& version) {
  if (version.file.exists) {
    // A new entry must never take the id of one already in the book.
    uint16_t highest = parsed.highestId > parsed.entryCount ? parsed.highestId : parsed.entryCount;
    book->nextId = static_cast<int16_t>(highest + 1);
  }
  book->entries = parsed.entries;
  book->entryCount = parsed.entryCount;
  book->dirty = 0;
  book->listDropped = false;
  book->version = version;
  ++book->loads;
  ++book->changeCount;
}

void FreePreviousEntries(Book* book) {
  FreeEntryList(book->previousEntries);
  book->previousEntries = nullptr;
  book->hasPrevious = false;
}

// Makes a list read again from the file the Book's list, keeping the one it
// replaces as the previous one.
void ReplaceList(Book* book, const ParsedBook& parsed, const BookVersion& version) {
  FreePreviousEntries(book);
  book->previousEntries = book->entries;
  book->previousLoads = book->loads;
  book->hasPrevious = true;
  InstallBook(book, parsed, version);
}

// Frees the entry list and the previous one; views see the change.
void FreeLists(Book* book) {
  FreePreviousEntries(book);
  FreeEntryList(book->entries);
  book->entries = nullptr;
  book->entryCount = 0;
  ++book->changeCount;
}

// Drops a list that holds changes the file does not, where the file cannot
// be read to put it back.  A new load count tells views that read the list
// it was (their indexes name nothing now); the impossible stamp makes the
// next call read the file.
void DropList(Book* book) {
  FreeLists(book);
  book->dirty = 0;
  book->listDropped = true;
  book->dropCause = PlatformNotedCause();
  book->version.file = {0, 0, -1, 0, 0, true};  // no file has this stamp
  ++book->loads;
}

}  // namespace

bool FindBookFiles(const Book* book, BookFiles* files) {
  char named[kPathMax];
  BookFilePath(book, named);
  if (!PlatformResolveFile(named, files->file)) return false;
  size_t directory = 0;
  for (size_t i = 0; files->file[i]; ++i) {
    if (PlatformIsSeparator(files->file[i])) directory = i + 1;
  }
  if (directory + sizeof kLockFileName > kPathMax) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  memcpy(files->directory, files->file, directory);
  files->directory[directory] = '\0';
  memcpy(files->lock, files->file, directory);
  memcpy(files->lock + directory, kLockFileName, sizeof kLockFileName);
  return true;
}

bool RefreshBook(Book* book) {
  if (book->loadCount <= 0) return true;
  if (!book->files) return false;
  BookVersion now;
  ReadSaves(book, &now);
  if (!PlatformStampAt(book->files->file, &now.file)) return false;
  if (SameVersion(now, book->version)) {
    book->version = now;  // the count of saves, where it was not known
    return true;
  }

  ParsedBook parsed;
  BookVersion version;
  if (ReadBook(book, &parsed, &version) != kBookLoaded) return false;
  ReplaceList(book, parsed, version);
  return true;
}

void RevertBook(Book* book) {
  if (book->loadCount <= 0 || !book->dirty) return;
  long cause = PlatformNotedCause();
  ParsedBook parsed;
  BookVersion version;
  if (ReadBook(book, &parsed, &version) == kBookLoaded) {
    ReplaceList(book, parsed, version);
  } else {
    DropList(book);
  }
  PlatformRestoreCause(cause);
}

BookStatus AcquireBook(Book* book) {
  if (book->loadCount > 0) {
    if (book->loadCount == INT16_MAX) return kBookNoMemory;
    ++book->loadCount;
    return kBookLoaded;
  }
  return LoadBook(book);
}

void ReleaseBook(Book* book) {
  if (book->loadCount <= 0) return;
  if (--book->loadCount > 0) return;
  FreeLists(book);
  book->listDropped = false;
}

BookStatus LoadBook(Book* book) {
  ParsedBook parsed;
  BookVersion version;
  BookStatus status = ReadBook(book, &parsed, &version);
  if (status != kBookLoaded) return status;
  InstallBook(book, parsed, version);
  book->loadCount = 1;
  return kBookLoaded;
}

}  // namespace ovel
