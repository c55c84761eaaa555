// The book file's bytes: parsing them into an entry list and serializing an
// entry list into them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/entry.h"

namespace ovel {

enum BookStatus : int {
  kBookLoaded = 0,
  kBookUnreadable = 1,  // a short or malformed file, or an unreadable one
  kBookNoMemory = 2,
};

inline constexpr uint8_t kFormatByte = 0x02;
inline constexpr uint16_t kFileIdMask = 0x0FFF;
inline constexpr uint16_t kFileGroupBit = 0x8000;
// The longest file a book can need: the header and OVEL_MAX_ENTRIES of the longest
// records.  Bytes past it cannot belong to the book.
inline constexpr uint32_t kMaxBookFileSize =
    3 + kMaxEntries * (2 + (1 + kMaxStringLength) + (1 + 2 * kMaxMembers) + (1 + kMaxStringLength));

struct ParsedBook {
  Entry* entries;       // sorted
  uint16_t entryCount;  // records read, the header's count
  uint16_t highestId;   // the highest id any record bears
};

// Parses a whole file.  On failure nothing is left allocated.
BookStatus ParseBook(const uint8_t* data, size_t size, ParsedBook* out);

inline constexpr uint32_t kHeaderSize = 3;
// Bytes enough to serialize one entry.
inline uint32_t EntrySizeBound(const Entry* entry) {
  return 2u + 1 + entry->nameLength + 1 + entry->commentLength +
         (IsGroup(entry) ? 1 + 2u * entry->members[0] : 1u + entry->addressLength);
}

// Maps an id an entry had before a save renumbered the list to its new id
// (0 for an id that names no entry), through a table indexed by old id.
struct NewIdOf {
  const uint16_t* newIdOfId;
  uint16_t operator()(uint16_t id) const { return id <= kIdMask ? newIdOfId[id] : 0; }
};

// Writes `count` entries of `list` with their ids, group members translated through `newIdOfId`
// (indexed by old id, 0 for an id that names no entry) and dropped when they name none.  Returns
// the number of bytes written.
uint32_t SerializeBook(const Entry* list, uint16_t count, const uint16_t* newIdOfId, uint8_t* out);

}  // namespace ovel
