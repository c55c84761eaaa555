#include "store/book_file.h"

#include <cstdint>
#include <cstring>

#include "frame/allocator.h"
#include "frame/platform.h"

namespace ovel {
namespace {

// The count of saves in the lock file the call holds.
void ReadSaves(const Book* book, BookVersion* version) {
  version->saves = 0;
  version->savesKnown = PlatformReadLockCount(book->lock, &version->saves);
}

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

// Writes `bytes` to a new file beside the book file, flushes it, and puts it
// in the book file's place.  On failure the book file holds the old book,
// unless `*undoFailed` (see PlatformReplaceDurably).
bool WriteBookFile(const BookFiles& files, const uint8_t* bytes, uint32_t size, bool* undoFailed) {
  *undoFailed = false;
  char temporary[kPathMax];
  FileRef file;
  if (!PlatformCreateUnique(files.directory, files.file, temporary, &file)) return false;
  bool written = PlatformWrite(file, bytes, size) && PlatformFlush(file);
  written = PlatformClose(file) && written;
  written = written && PlatformReplaceDurably(temporary, files.file, files.directory, undoFailed);
  if (!written) PlatformRemove(temporary);
  return written;
}

// Gives the first `count` entries back the ids they had before a save
// renumbered them.
void RestoreIds(Book* book, uint16_t count) {
  Entry* entry = book->entries;
  for (uint16_t i = 0; i < count && entry; ++i, entry = entry->next) {
    entry->flags = (entry->flags & kGroupFlag) | entry->oldId;
  }
}

// Translates each group's members through `newIdOfId` (indexed by old id),
// dropping those that name no entry.
void CompactMembers(Entry* const* groups, uint16_t groupCount, const uint16_t* newIdOfId) {
  for (uint16_t g = 0; g < groupCount; ++g) {
    uint16_t* members = groups[g]->members;
    uint16_t kept = 0;
    for (unsigned i = 1; i <= members[0]; ++i) {
      uint16_t newId = members[i] <= kIdMask ? newIdOfId[members[i]] : 0;
      if (newId) members[++kept] = newId;
    }
    members[0] = kept;
  }
}

// What a save works with besides the bytes: the new id of each old id (the
// first entry in list order owns a repeated id) and the groups.
struct SaveScratch {
  uint16_t newIdOfId[kIdMask + 1];
  Entry* groups[kMaxEntries];
};

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
    book->version.file = {0, 0, -1, 0, 0, true};  // no file has this stamp
    book->dirty = 0;
  }
  PlatformRestoreCause(cause);
}

bool SaveChange(Book* book) { return book->transaction || SaveBook(book); }

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
  FreePreviousEntries(book);
  FreeEntryList(book->entries);
  book->entries = nullptr;
  book->entryCount = 0;
  ++book->changeCount;
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

bool SaveBook(Book* book) {
  if (book->loadCount <= 0 || !book->dirty) return true;
  // Only a holder of the exclusive lock may write: it alone knows that no
  // other process is changing the file, or saving into its directory.
  const BookFiles* files = book->files;
  if (!book->lock.exclusive || !files) {
    PlatformNoteCause(Cause::kInvalidHandle);
    return false;
  }
  if (!PlatformMayReplace(files->file)) return false;

  SaveScratch* scratch = static_cast<SaveScratch*>(AllocScratchBlock(sizeof(SaveScratch)));
  if (!scratch) return false;
  memset(scratch->newIdOfId, 0, sizeof scratch->newIdOfId);
  // In one walk: each entry takes its position as its id and keeps the old
  // one until the save ends; the new id of each old id, the groups, and the
  // size the file can need.
  uint16_t count = 0;
  uint16_t groupCount = 0;
  uint32_t bound = kHeaderSize;
  for (Entry* entry = book->entries; entry; entry = entry->next) {
    if (count == kMaxEntries) {  // more than the file can hold
      PlatformNoteCause(Cause::kBookFull);
      RestoreIds(book, count);
      FreeBlock(scratch);
      return false;
    }
    entry->oldId = EntryId(entry);
    entry->flags = (entry->flags & kGroupFlag) | ++count;
    uint16_t* slot = &scratch->newIdOfId[entry->oldId];
    if (!*slot) *slot = count;
    if (IsGroup(entry)) scratch->groups[groupCount++] = entry;
    bound += EntrySizeBound(entry);
  }

  // The count of saves is odd while a save is under way: a save that finds
  // it odd follows one that died and may have left its temporary files.
  // They are looked for then, and once per Book (a power cut may have kept
  // the files but lost the count); not at every save, since listing a large
  // directory costs more than the rest of the save.
  BookVersion version = book->version;
  if (!version.savesKnown) ReadSaves(book, &version);
  if (!book->leftoversSwept || (version.saves & 1)) {
    PlatformRemoveStaleFiles(files->directory);
    book->leftoversSwept = true;
  }
  uint64_t before = version.saves + (version.saves & 1);
  if (version.savesKnown) PlatformWriteLockCount(book->lock, before + 1);

  bool saved = false;
  bool undoFailed = false;
  if (uint8_t* bytes = static_cast<uint8_t*>(AllocScratchBlock(bound))) {
    uint32_t size = SerializeBook(book->entries, count, scratch->newIdOfId, bytes);
    saved = WriteBookFile(*files, bytes, size, &undoFailed);
    FreeBlock(bytes);
  }
  if (!saved) {
    RestoreIds(book, count);
    if (version.savesKnown) PlatformWriteLockCount(book->lock, version.saves);
    // The file holds the book as it was, but keeping the old book aside
    // changed its change time: the list is still that of the file.  Where
    // the new book could not be taken back, the next call reads it.
    long cause = PlatformNotedCause();
    FileStamp now;
    if (!undoFailed && PlatformStampAt(files->file, &now)) book->version.file = now;
    PlatformRestoreCause(cause);
  } else {
    CompactMembers(scratch->groups, groupCount, scratch->newIdOfId);
    book->nextId = static_cast<int16_t>(count + 1);
    book->dirty = 0;
    // The version just written; the count of saves tells it from every
    // earlier one, whatever stamp the system gives the file.
    version.saves = before + 2;
    version.savesKnown = version.savesKnown && PlatformWriteLockCount(book->lock, version.saves);
    if (!PlatformStampAt(files->file, &version.file)) version.file = {};
    book->version = version;
  }
  FreeBlock(scratch);
  return saved;
}

}  // namespace ovel
