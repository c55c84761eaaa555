#include "store/entry.h"

#include <cstring>

#include "frame/allocator.h"

namespace ovel {

uint16_t SurnameOffset(const char* name) {
  size_t length = strlen(name);
  if (length == 0) return 0;
  size_t i = length - 1;
  while (i > 0 && (name[i] == ' ' || name[i] == '%')) --i;
  while (i > 0) {
    if (name[i] == ' ') return static_cast<uint16_t>(i + 1);
    --i;
  }
  return 0;
}

Entry* FindGroupByName(const Book* book, const char* name) {
  for (Entry* entry = book->entries; entry; entry = entry->next) {
    if (IsGroup(entry) && PlatformCompareNoCase(entry->displayName, name) == 0) return entry;
  }
  return nullptr;
}

Entry* NewEntry(const EntryFields& fields) {
  bool group = (fields.flags & kGroupFlag) != 0;
  // The member list comes first after the record, where it is aligned.
  size_t members = group ? 2 * (fields.memberCount + 1) : 0;
  size_t size = sizeof(Entry) + members + 2 * (fields.nameLength + 1) + fields.commentLength + 1 +
                (group ? 0 : fields.addressLength + 1);
  Entry* entry = static_cast<Entry*>(AllocBlock(static_cast<uint32_t>(size)));
  if (!entry) return nullptr;
  char* at = reinterpret_cast<char*>(entry + 1);
  auto place = [&at](const char* text, size_t length) {
    char* copy = at;
    if (length) memcpy(copy, text, length);
    copy[length] = '\0';
    at += length + 1;
    return copy;
  };
  entry->flags = fields.flags;
  entry->nameLength = static_cast<uint8_t>(fields.nameLength);
  entry->addressLength = static_cast<uint8_t>(group ? 0 : fields.addressLength);
  entry->commentLength = static_cast<uint8_t>(fields.commentLength);
  if (group) {
    entry->members = reinterpret_cast<uint16_t*>(at);
    entry->members[0] = static_cast<uint16_t>(fields.memberCount);
    for (size_t i = 0; i < fields.memberCount; ++i) {
      entry->members[i + 1] =
          static_cast<uint16_t>(fields.memberWords[2 * i] | (fields.memberWords[2 * i + 1] << 8));
    }
    at += members;
  }
  entry->storedName = place(fields.name, fields.nameLength);
  entry->displayName = place(fields.name, fields.nameLength);
  for (char* c = entry->displayName; *c; ++c) {
    if (*c == '%') *c = ' ';
  }
  entry->surnameOffset = SurnameOffset(entry->storedName);
  if (!group) entry->address = place(fields.address, fields.addressLength);
  entry->comment = place(fields.comment, fields.commentLength);
  return entry;
}

namespace {

// The stored name of the entry `id` names in `list`, or "" when none.
const char* MemberName(const Entry* list, uint16_t id) {
  for (const Entry* entry = list; entry; entry = entry->next) {
    if (EntryId(entry) == id) return entry->storedName;
  }
  return "";
}

bool SameContent(const Entry* a, const Entry* aList, const Entry* b, const Entry* bList) {
  if (IsGroup(a) != IsGroup(b) || strcmp(a->storedName, b->storedName) != 0 ||
      strcmp(a->comment, b->comment) != 0) {
    return false;
  }
  if (!IsGroup(a)) return strcmp(a->address, b->address) == 0;
  if (a->members[0] != b->members[0]) return false;
  for (unsigned i = 1; i <= a->members[0]; ++i) {
    if (strcmp(MemberName(aList, a->members[i]), MemberName(bList, b->members[i])) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

Entry* FindSameEntry(Entry* list, const Entry* entry, const Entry* itsList) {
  for (Entry* candidate = list; candidate; candidate = candidate->next) {
    if (SameContent(candidate, list, entry, itsList)) return candidate;
  }
  return nullptr;
}

void FreeEntry(Entry* entry) { FreeBlock(entry); }

void FreeEntryList(Entry* head) {
  while (head) {
    Entry* next = head->next;
    FreeEntry(head);
    head = next;
  }
}

}  // namespace ovel
