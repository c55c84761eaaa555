#include "store/entry.h"

#include <cstring>

#include "frame/allocator.h"

namespace ovel {

uint16_t SurnameOffset(const char* name) { return SurnameOffset(name, strlen(name)); }

uint16_t SurnameOffset(const char* name, size_t length) {
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

size_t EntrySize(const EntryFields& fields) {
  bool group = (fields.flags & kGroupFlag) != 0;
  // The member list comes first after the record, where it is aligned.
  size_t members = group ? 2 * (fields.memberCount + 1) : 0;
  size_t size = sizeof(Entry) + members + 2 * (fields.nameLength + 1) + fields.commentLength + 1 +
                (group ? 0 : fields.addressLength + 1);
  return (size + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);
}

Entry* NewEntry(const EntryFields& fields) {
  void* block = AllocScratchBlock(static_cast<uint32_t>(EntrySize(fields)));
  return block ? PlaceEntry(fields, block, nullptr) : nullptr;
}

Entry* PlaceEntry(const EntryFields& fields, void* block, LoadArena* arena) {
  bool group = (fields.flags & kGroupFlag) != 0;
  Entry* entry = static_cast<Entry*>(block);
  char* at = reinterpret_cast<char*>(entry + 1);
  auto place = [&at](const char* text, size_t length) {
    char* copy = at;
    if (length) memcpy(copy, text, length);
    copy[length] = '\0';
    at += length + 1;
    return copy;
  };
  entry->next = nullptr;
  entry->flags = fields.flags;
  entry->oldId = 0;
  entry->nameLength = static_cast<uint8_t>(fields.nameLength);
  entry->addressLength = static_cast<uint8_t>(group ? 0 : fields.addressLength);
  entry->commentLength = static_cast<uint8_t>(fields.commentLength);
  entry->arena = arena;
  if (group) {
    entry->members = reinterpret_cast<uint16_t*>(at);
    entry->members[0] = static_cast<uint16_t>(fields.memberCount);
    for (size_t i = 0; i < fields.memberCount; ++i) {
      entry->members[i + 1] =
          static_cast<uint16_t>(fields.memberWords[2 * i] | (fields.memberWords[2 * i + 1] << 8));
    }
    at += 2 * (fields.memberCount + 1);
  }
  entry->storedName = place(fields.name, fields.nameLength);
  entry->displayName = place(fields.name, fields.nameLength);
  // The name as far as it shows: a file's name may hold a NUL.
  size_t shown = 0;
  for (char* c = entry->displayName; shown < fields.nameLength && *c; ++c, ++shown) {
    if (*c == '%') *c = ' ';
  }
  entry->surnameOffset = SurnameOffset(entry->storedName, shown);
  if (!group) entry->address = place(fields.address, fields.addressLength);
  entry->comment = place(fields.comment, fields.commentLength);
  return entry;
}

namespace {

bool IsCandidate(const Entry* entry, const Entry* seen) {
  if (IsGroup(entry) != IsGroup(seen) || strcmp(entry->storedName, seen->storedName) != 0 ||
      strcmp(entry->comment, seen->comment) != 0) {
    return false;
  }
  return IsGroup(entry) || strcmp(entry->address, seen->address) == 0;
}

// Groups of one list with the same members, in the same order.
bool SameMembers(const Entry* a, const Entry* b) {
  return a->members[0] == b->members[0] &&
         memcmp(a->members + 1, b->members + 1, sizeof(uint16_t) * a->members[0]) == 0;
}

}  // namespace

Refound FindEntryAgain(Entry* list, const Entry* seen, Entry** found) {
  *found = nullptr;
  for (Entry* candidate = list; candidate; candidate = candidate->next) {
    if (!IsCandidate(candidate, seen)) continue;
    if (!*found) {
      *found = candidate;
    } else if (IsGroup(candidate) && !SameMembers(*found, candidate)) {
      *found = nullptr;
      return Refound::kAmbiguous;
    }
  }
  return *found ? Refound::kFound : Refound::kNone;
}

void FreeEntry(Entry* entry) {
  LoadArena* arena = entry->arena;
  if (!arena) {
    FreeBlock(entry);
  } else if (--arena->liveEntries == 0) {
    FreeBlock(arena);
  }
}

void FreeEntryList(Entry* head) {
  while (head) {
    Entry* next = head->next;
    FreeEntry(head);
    head = next;
  }
}

}  // namespace ovel
