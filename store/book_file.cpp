#include "store/book_file.h"

#include <cstdint>

#include "frame/allocator.h"
#include "frame/platform.h"

namespace ovel {
namespace {

// Reads up to kMaxBookFileSize bytes of the book file into a new block.
BookStatus ReadBookFile(const Book* book, uint8_t** data, size_t* size, bool* missing) {
  char path[kPathMax];
  BookFilePath(book, path);
  FileRef file;
  OpenResult opened = PlatformOpenRead(path, &file);
  *missing = opened == OpenResult::kMissing;
  if (opened != OpenResult::kOpened) return *missing ? kBookLoaded : kBookUnreadable;

  BookStatus status = kBookUnreadable;
  long long length = PlatformFileSize(file);
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

// Writes `bytes` to a new file beside the book file, flushes it, and puts it
// in the book file's place.  On failure the book file is untouched.
bool WriteBookFile(const Book* book, const uint8_t* bytes, uint32_t size) {
  char target[kPathMax];
  char temporary[kPathMax];
  BookFilePath(book, target);
  FileRef file;
  if (!PlatformCreateUnique(book->path, target, temporary, &file)) return false;
  bool written = PlatformWrite(file, bytes, size) && PlatformFlush(file);
  written = PlatformClose(file) && written;
  written = written && PlatformReplaceDurably(temporary, target, book->path);
  if (!written) PlatformRemove(temporary);
  return written;
}

void ApplyNewIds(Book* book, const uint16_t* newIdOfId, uint16_t count) {
  for (Entry* entry = book->entries; entry; entry = entry->next) {
    if (!IsGroup(entry)) continue;
    uint16_t* members = entry->members;
    uint16_t kept = 0;
    for (unsigned i = 1; i <= members[0]; ++i) {
      uint16_t newId = members[i] <= kIdMask ? newIdOfId[members[i]] : 0;
      if (newId) members[++kept] = newId;
    }
    members[0] = kept;
  }
  for (Entry* entry = book->entries; entry; entry = entry->next) {
    entry->flags = (entry->flags & kGroupFlag) | entry->newId;
  }
  book->nextId = static_cast<int16_t>(count + 1);
  book->dirty = 0;
}

}  // namespace

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
  FreeEntryList(book->entries);
  book->entries = nullptr;
  book->entryCount = 0;
  ++book->changeCount;
}

BookStatus LoadBook(Book* book) {
  uint8_t* data = nullptr;
  size_t size = 0;
  bool missing = false;
  BookStatus status = ReadBookFile(book, &data, &size, &missing);
  if (status != kBookLoaded) return status;

  ParsedBook parsed{};
  if (!missing) {
    status = ParseBook(data, size, &parsed);
    FreeBlock(data);
    if (status != kBookLoaded) return status;
    // A new entry must never take the id of one already in the book.
    uint16_t highest = parsed.highestId > parsed.entryCount ? parsed.highestId : parsed.entryCount;
    book->nextId = static_cast<int16_t>(highest + 1);
  }
  book->entries = parsed.entries;
  book->entryCount = parsed.entryCount;
  book->loadCount = 1;
  book->dirty = 0;
  ++book->changeCount;
  return kBookLoaded;
}

bool SaveBook(Book* book) {
  if (book->loadCount <= 0 || !book->dirty) return true;

  uint16_t count = 0;
  for (Entry* entry = book->entries; entry; entry = entry->next) entry->newId = ++count;

  // New ids by old id; the first entry in list order owns a repeated id.
  uint16_t* newIdOfId = static_cast<uint16_t*>(AllocBlock((kIdMask + 1) * sizeof(uint16_t)));
  if (!newIdOfId) return false;
  for (Entry* entry = book->entries; entry; entry = entry->next) {
    if (!newIdOfId[EntryId(entry)]) newIdOfId[EntryId(entry)] = entry->newId;
  }

  bool saved = false;
  uint32_t bound = SerializedSizeBound(book->entries);
  if (uint8_t* bytes = static_cast<uint8_t*>(AllocScratchBlock(bound))) {
    uint32_t size = SerializeBook(book->entries, count, newIdOfId, bytes);
    saved = WriteBookFile(book, bytes, size);
    FreeBlock(bytes);
  }
  if (saved) ApplyNewIds(book, newIdOfId, count);
  FreeBlock(newIdOfId);
  return saved;
}

}  // namespace ovel
