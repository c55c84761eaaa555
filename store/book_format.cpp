#include "store/book_format.h"

#include <cstring>

#include "frame/allocator.h"
#include "frame/platform.h"

namespace ovel {
namespace {

// Where a load's block puts its first entry, aligned as entries are.
constexpr size_t kArenaHeader =
    (sizeof(LoadArena) + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);

// Reads little-endian fields without ever looking past the end.
struct Reader {
  const uint8_t* at;
  const uint8_t* end;

  bool Byte(uint8_t* out) {
    if (at == end) return false;
    *out = *at++;
    return true;
  }
  bool Word(uint16_t* out) {
    if (end - at < 2) return false;
    *out = static_cast<uint16_t>(at[0] | (at[1] << 8));
    at += 2;
    return true;
  }
};

// A length byte and that many characters, never past the end.
bool ReadCounted(Reader* in, const char** text, size_t* length) {
  uint8_t n;
  if (!in->Byte(&n) || in->end - in->at < n) return false;
  *text = reinterpret_cast<const char*>(in->at);
  *length = n;
  in->at += n;
  return true;
}

// Reads one record's fields (its texts point into the input); false when
// the input ends within it.
bool ReadFields(Reader* in, EntryFields* fields) {
  uint16_t word;
  if (!in->Word(&word)) return false;
  *fields = {};
  fields->flags = (word & kFileIdMask) | ((word & kFileGroupBit) ? kGroupFlag : 0);
  if (!ReadCounted(in, &fields->name, &fields->nameLength)) return false;
  if (word & kFileGroupBit) {
    uint8_t count;
    if (!in->Byte(&count) || in->end - in->at < 2 * count) return false;
    fields->memberWords = in->at;
    fields->memberCount = count;
    in->at += 2 * count;
  } else if (!ReadCounted(in, &fields->address, &fields->addressLength)) {
    return false;
  }
  return ReadCounted(in, &fields->comment, &fields->commentLength);
}

// The size of one block for the entries of `count` records (a LoadArena
// first); false when a record is cut short.
bool ArenaSize(Reader in, uint16_t count, size_t* size) {
  *size = kArenaHeader;
  EntryFields fields;
  for (uint16_t i = 0; i < count; ++i) {
    if (!ReadFields(&in, &fields)) return false;
    *size += EntrySize(fields);
  }
  return true;
}

bool KeyNotGreater(const Entry* a, const Entry* b) {
  return PlatformCompareNoCase(SortKey(a), SortKey(b)) <= 0;
}

// Merges two sorted lists; on equal keys entries of `first` come first.
Entry* Merge(Entry* first, Entry* second) {
  Entry* head = nullptr;
  Entry** tail = &head;
  while (first && second) {
    Entry** from = KeyNotGreater(first, second) ? &first : &second;
    *tail = *from;
    tail = &(*from)->next;
    *from = (*from)->next;
  }
  *tail = first ? first : second;
  return head;
}

// Stable merge sort of a linked list by key.
Entry* SortByKey(Entry* list) {
  if (!list || !list->next) return list;
  Entry* slow = list;
  for (Entry* fast = list->next; fast && fast->next; fast = fast->next->next) slow = slow->next;
  Entry* second = slow->next;
  slow->next = nullptr;
  return Merge(SortByKey(list), SortByKey(second));
}

// The order in which inserting each out-of-order record before the first
// entry whose key is not smaller would leave the list: sorted, and among
// equal keys the later record first, every one before the in-order
// records' equals.  Done by sorting, not by a walk per record.
Entry* MergeOutOfOrder(Entry* inOrder, Entry* newestFirst) {
  return Merge(SortByKey(newestFirst), inOrder);
}

// Copies `length` (at most 255) bytes with fixed-size moves that may
// overlap, as C libraries do for short copies.  A memcpy of a length the
// compiler knows to be small becomes a `rep movs`, whose start-up cost is
// many times that of copying a name.
void CopyShort(uint8_t* out, const char* text, size_t length) {
  if (length >= 16) {
    for (size_t done = 0; done + 16 < length; done += 16) memcpy(out + done, text + done, 16);
    memcpy(out + length - 16, text + length - 16, 16);
  } else if (length >= 8) {
    memcpy(out, text, 8);
    memcpy(out + length - 8, text + length - 8, 8);
  } else if (length >= 4) {
    memcpy(out, text, 4);
    memcpy(out + length - 4, text + length - 4, 4);
  } else if (length > 0) {
    out[0] = static_cast<uint8_t>(text[0]);
    out[length / 2] = static_cast<uint8_t>(text[length / 2]);
    out[length - 1] = static_cast<uint8_t>(text[length - 1]);
  }
}

uint8_t* PutCountedString(uint8_t* out, const char* text, uint8_t length) {
  *out++ = length;
  CopyShort(out, text, length);
  return out + length;
}

uint8_t* PutWord(uint8_t* out, uint16_t word) {
  out[0] = static_cast<uint8_t>(word & 0xFF);
  out[1] = static_cast<uint8_t>(word >> 8);
  return out + 2;
}

// Drops from `groups` the member ids that no record bears (not `named`).
void DropDanglingMembers(Entry* const* groups, unsigned count, const bool* named) {
  auto named_id = [named](uint16_t id) -> uint16_t {
    return id <= kFileIdMask && named[id] ? id : 0;
  };
  for (unsigned g = 0; g < count; ++g) {
    Entry* group = groups[g];
    group->members[0] = TranslateMembers(group, named_id, group->members + 1);
  }
}

// Where a file gives two entries one id, the first in list order bears it
// (the members that name the id are that entry); the others take ids above
// every id of the file, so that each entry in memory has an id of its own
// and a member added later names it alone.  Gives the highest id now.
uint16_t SeparateRepeatedIds(Entry* list, uint16_t highestId) {
  bool taken[kFileIdMask + 1] = {};
  uint16_t next = highestId;
  for (Entry* entry = list; entry; entry = entry->next) {
    uint16_t id = EntryId(entry);
    if (id > kFileIdMask) continue;  // given above
    if (!taken[id]) {
      taken[id] = true;
    } else {
      entry->flags = (entry->flags & kGroupFlag) | ++next;
    }
  }
  return next;
}

}  // namespace

BookStatus ParseBook(const uint8_t* data, size_t size, ParsedBook* out) {
  Reader in{data, data + size};
  uint8_t format;
  uint16_t header;
  if (!in.Byte(&format) || format != kFormatByte || !in.Word(&header)) return kBookUnreadable;
  uint16_t count = header & kFileIdMask;
  // Every entry of the load in one block: one allocation, not one each.
  size_t arenaSize;
  if (!ArenaSize(in, count, &arenaSize)) return kBookUnreadable;
  LoadArena* arena = nullptr;
  char* place = nullptr;
  if (count) {
    arena = static_cast<LoadArena*>(AllocScratchBlock(static_cast<uint32_t>(arenaSize)));
    if (!arena) return kBookNoMemory;
    arena->liveEntries = count;
    place = reinterpret_cast<char*>(arena) + kArenaHeader;
  }

  Entry* head = nullptr;        // the records read while the input was in order
  Entry* previous = nullptr;    // the last of them
  Entry* outOfOrder = nullptr;  // the later records, newest first
  uint16_t highestId = 0;
  bool named[kFileIdMask + 1] = {};  // the ids the records bear
  Entry* groups[kFileIdMask];        // the groups read
  unsigned groupCount = 0;
  for (uint16_t i = 0; i < count; ++i) {
    EntryFields fields;
    ReadFields(&in, &fields);  // read whole by ArenaSize
    Entry* entry = PlaceEntry(fields, place, arena);
    place += EntrySize(fields);
    uint16_t id = EntryId(entry);
    if (id > highestId) highestId = id;
    named[id] = true;
    if (IsGroup(entry)) groups[groupCount++] = entry;
    if (!head) {
      head = entry;
      previous = entry;
    } else if (!outOfOrder && KeyNotGreater(previous, entry)) {
      previous->next = entry;
      previous = entry;
    } else {
      entry->next = outOfOrder;
      outOfOrder = entry;
    }
  }
  if (outOfOrder) head = MergeOutOfOrder(head, outOfOrder);
  DropDanglingMembers(groups, groupCount, named);
  out->entries = head;
  out->entryCount = count;
  out->highestId = SeparateRepeatedIds(head, highestId);
  return kBookLoaded;
}

uint32_t SerializeBook(const Entry* list, uint16_t count, const uint16_t* newIdOfId, uint8_t* out) {
  uint8_t* at = out;
  *at++ = kFormatByte;
  at = PutWord(at, count);
  for (const Entry* entry = list; entry; entry = entry->next) {
    at = PutWord(at, static_cast<uint16_t>(EntryId(entry) | (IsGroup(entry) ? kFileGroupBit : 0)));
    at = PutCountedString(at, entry->storedName, entry->nameLength);
    if (IsGroup(entry)) {
      uint16_t members[kMaxMembers];
      uint16_t kept = TranslateMembers(entry, NewIdOf{newIdOfId}, members);
      *at++ = static_cast<uint8_t>(kept);
      for (uint16_t i = 0; i < kept; ++i) at = PutWord(at, members[i]);
    } else {
      at = PutCountedString(at, entry->address, entry->addressLength);
    }
    at = PutCountedString(at, entry->comment, entry->commentLength);
  }
  return static_cast<uint32_t>(at - out);
}

}  // namespace ovel
