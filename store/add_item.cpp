#include "store/add_item.h"

#include <cstring>

#include "frame/allocator.h"
#include "frame/call_errors.h"
#include "ovel.h"
#include "store/book_call.h"
#include "store/book_file.h"

namespace ovel {
namespace {

// Copies `text` into `buffer` of `size` bytes; false when it does not fit.
bool CopyBounded(char* buffer, size_t size, const char* text) {
  if (!text) text = "";
  size_t length = strnlen(text, size);
  if (length >= size) return false;
  memcpy(buffer, text, length + 1);
  return true;
}

}  // namespace

Entry* InsertEntry(Client* client, Book* book, uint16_t id) {
  EntryFields fields{};
  fields.flags = id & kIdMask;
  fields.name = client->name;
  fields.nameLength = strlen(client->name);
  fields.address = client->address;
  fields.addressLength = strlen(client->address);
  fields.comment = client->comment;
  fields.commentLength = strlen(client->comment);
  Entry* entry = NewEntry(fields);
  if (!entry) return nullptr;
  Entry** link = &book->entries;
  while (*link && PlatformCompareNoCase(SortKey(*link), SortKey(entry)) < 0) link = &(*link)->next;
  entry->next = *link;
  *link = entry;
  ++book->entryCount;
  ++book->changeCount;
  book->dirty = 1;
  return entry;
}

void RemoveInsertedEntry(Book* book, Entry* entry) {
  for (Entry** link = &book->entries; *link; link = &(*link)->next) {
    if (*link == entry) {
      *link = entry->next;
      break;
    }
  }
  FreeEntry(entry);
  --book->entryCount;
  ++book->changeCount;
}

}  // namespace ovel

using namespace ovel;

extern "C" OVEL_EXPORT int OVELAPI OvelAddItem(Client* client, const char* name,
                                               const char* address, const char* comment) {
  CallErrors errors;
  if (!ClientIsOpen(client)) return errors.Fail(Cause::kInvalidHandle, 0);
  if (IsEmptyString(name) || IsEmptyString(address) ||
      !CopyBounded(client->name, sizeof client->name, name) ||
      !CopyBounded(client->address, sizeof client->address, address) ||
      !CopyBounded(client->comment, sizeof client->comment, comment)) {
    return errors.Fail(Cause::kInvalidArgument, 0);
  }
  BookCall call(client, BookAccess::kChange);
  Book* book = call.book();
  if (!book || AcquireBook(book) != kBookLoaded) return errors.Fail(0);

  int added = 0;
  // Ids grow within a transaction (a save renumbers them); they must stay
  // within their bits.
  if (book->entryCount >= kMaxEntries || book->nextId > static_cast<int16_t>(kIdMask)) {
    PlatformNoteCause(Cause::kBookFull);
  } else {
    int16_t id = book->nextId;
    int32_t wasDirty = book->dirty;
    if (Entry* entry = InsertEntry(client, book, static_cast<uint16_t>(id))) {
      ++book->nextId;
      if (SaveChange(book)) {
        added = 1;
      } else {
        RemoveInsertedEntry(book, entry);
        book->nextId = id;
        book->dirty = wasDirty;
      }
    }
  }
  ReleaseBook(book);
  return added ? added : errors.Fail(0);
}
