// Entries of the sorted entry list, and the keys they are sorted by.
#pragma once

#include <cstdint>

#include "frame/book.h"
#include "ovel.h"

namespace ovel {

inline constexpr uint32_t kIdMask = 0x3FFF;     // 14-bit id in memory
inline constexpr uint32_t kGroupFlag = 0x4000;  // bit 14 of Entry::flags
inline constexpr uint16_t kMaxEntries = OVEL_MAX_ENTRIES;
inline constexpr uint32_t kMaxStringLength = OVEL_MAX_TEXT;
inline constexpr uint32_t kMaxMembers = OVEL_MAX_MEMBERS;

// One block that a load carves all its entries out of; freed with the last
// of them.
struct LoadArena {
  uint32_t liveEntries;
};

struct Entry {
  Entry* next;
  uint32_t flags;  // id in bits 0-13, group flag in bit 14
  uint16_t oldId;  // scratch of a save: the id before it renumbered the entry
  uint16_t surnameOffset;
  // Lengths of the stored name, the address and the comment, which a save
  // writes as length bytes (each at most OVEL_MAX_TEXT).
  uint8_t nameLength;
  uint8_t addressLength;
  uint8_t commentLength;
  char* displayName;
  char* storedName;
  char* comment;
  union {
    char* address;      // plain entry
    uint16_t* members;  // group: word 0 the count, then the member ids
  };
  LoadArena* arena;  // the load's block that holds the entry; null: a block of its own
};

inline uint16_t EntryId(const Entry* entry) {
  return static_cast<uint16_t>(entry->flags & kIdMask);
}
inline bool IsGroup(const Entry* entry) { return (entry->flags & kGroupFlag) != 0; }

// True for null and for "".
inline bool IsEmptyString(const char* text) { return !text || !text[0]; }

// Where the surname of a stored or display name begins: after the last
// space that is followed by something other than spaces and "%".
uint16_t SurnameOffset(const char* name);
uint16_t SurnameOffset(const char* name, size_t length);
// What a new entry is made of.  Texts need not be terminated.
struct EntryFields {
  uint32_t flags;  // id and group flag
  const char* name;
  size_t nameLength;
  const char* address;  // plain entry
  size_t addressLength;
  const uint8_t* memberWords;  // group: little-endian 16-bit ids
  size_t memberCount;
  const char* comment;
  size_t commentLength;
};

// A new entry with its stored name, its display name (every "%" turned into
// a space, so offsets agree), its surname offset, its address
// or member list and comment, all in one block (which FreeEntry frees);
// null when no memory.
Entry* NewEntry(const EntryFields& fields);
// The bytes an entry of `fields` takes, a multiple of the entry's alignment.
size_t EntrySize(const EntryFields& fields);
// Makes the entry NewEntry makes in `block` (EntrySize bytes, aligned) of
// `arena`; FreeEntry then counts it out of the arena.
Entry* PlaceEntry(const EntryFields& fields, void* block, LoadArena* arena);
// Keeps the members of `group` that `newIdOf` maps to an id (not 0),
// translated, in their order, in `out` (which may be the group's own list,
// after its count word); returns how many.  Ids that name no entry are
// dropped: a new entry could otherwise take such an id and join a group
// unasked.
template <typename NewIdOf>
uint16_t TranslateMembers(const Entry* group, NewIdOf newIdOf, uint16_t* out) {
  const uint16_t* members = group->members;
  uint16_t kept = 0;
  for (unsigned i = 1; i <= members[0]; ++i) {
    uint16_t newId = newIdOf(members[i]);
    if (newId) out[kept++] = newId;
  }
  return kept;
}

// The display name from the surname offset on.
inline const char* SortKey(const Entry* entry) { return entry->displayName + entry->surnameOffset; }

// The first group whose display name equals `name` in any case, or null.
Entry* FindGroupByName(const Book* book, const char* name);

// Finds `seen`, an entry of an older list, again in `list`, after another
// program changed the book: a plain entry by its whole content (stored
// name, address, comment), a group by its stored name and comment, since
// others may have changed its members.  Candidates that a caller could
// tell apart (groups with other members) make the match ambiguous.
enum class Refound { kNone, kFound, kAmbiguous };
Refound FindEntryAgain(Entry* list, const Entry* seen, Entry** found);

void FreeEntry(Entry* entry);
void FreeEntryList(Entry* head);

}  // namespace ovel
