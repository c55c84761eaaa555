// OvelAddItem and OvelAddGroup: a plain entry or an empty group added to
// the list and saved.
#include <cstring>

#include "frame/call_errors.h"
#include "frame/client.h"
#include "ovel.h"
#include "store/book_call.h"
#include "store/book_file.h"
#include "store/list_change.h"

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

// The fields of a plain entry made of the Client's checked copies.
EntryFields PlainEntryFields(const Client* client) {
  EntryFields fields{};
  fields.name = client->name;
  fields.nameLength = strlen(client->name);
  fields.address = client->address;
  fields.addressLength = strlen(client->address);
  fields.comment = client->comment;
  fields.commentLength = strlen(client->comment);
  return fields;
}

// The fields of an empty group made of the Client's checked copies.
EntryFields GroupEntryFields(const Client* client) {
  EntryFields fields{};
  fields.flags = kGroupFlag;
  fields.name = client->name;
  fields.nameLength = strlen(client->name);
  fields.comment = client->comment;
  fields.commentLength = strlen(client->comment);
  return fields;
}

// Adds the entry and saves the book.
bool AddAndSave(Book* book, const EntryFields& fields) {
  ListChange change;
  return InsertEntry(book, fields, &change) && SaveListChange(book, change);
}

}  // namespace
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
  bool added = AddAndSave(book, PlainEntryFields(client));
  ReleaseBook(book);
  return added ? 1 : errors.Fail(0);
}

extern "C" OVEL_EXPORT int OVELAPI OvelAddGroup(Client* client, const char* name,
                                                const char* comment) {
  CallErrors errors;
  if (!ClientIsOpen(client)) return errors.Fail(Cause::kInvalidHandle, 0);
  if (IsEmptyString(name) || !CopyBounded(client->name, sizeof client->name, name) ||
      !CopyBounded(client->comment, sizeof client->comment, comment)) {
    return errors.Fail(Cause::kInvalidArgument, 0);
  }
  // Groups are found by their display name: "%" joins count as spaces.
  char displayName[sizeof client->name];
  memcpy(displayName, client->name, sizeof displayName);
  for (char* c = displayName; *c; ++c) {
    if (*c == '%') *c = ' ';
  }
  BookCall call(client, BookAccess::kChange);
  Book* book = call.book();
  if (!book || AcquireBook(book) != kBookLoaded) return errors.Fail(0);
  bool added = false;
  if (FindGroupByName(book, displayName)) {
    PlatformNoteCause(Cause::kAlreadyExists);
  } else {
    added = AddAndSave(book, GroupEntryFields(client));
  }
  ReleaseBook(book);
  return added ? 1 : errors.Fail(0);
}
