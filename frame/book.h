// The Book: the record shared by every Client of one directory.
#pragma once

#include <cstdint>

#include "frame/platform.h"
#include "frame/record_chain.h"

namespace ovel {

struct Entry;

inline constexpr char kBookFileName[] = "ADDRBOOK.DAT";

struct Book {
  ChainLink link;
  char path[kPathMax];  // absolute directory, ending in a separator
  int32_t clientCount;
  int16_t loadCount;  // load references on the entry list
  int32_t dirty;      // the entry list differs from the file
  Entry* entries;     // sorted entry list, while loaded
  int16_t nextId;     // id of the next added entry
  uint16_t entryCount;
  // Bumped whenever the shape of the entry list changes (insertion, deletion,
  // load, unload); lets views keep a cursor that is valid only meanwhile.
  uint32_t changeCount;
};

extern RecordChain gBookChain;

// The Book of a directory, shared with every Client already on it; 0 when
// the path cannot be formed or there is no memory.
LocalRef OpenBook(const char* directory);
// Drops a Client from a Book, freeing the Book with its last Client.
void CloseBook(LocalRef bookHandle);

// `path` followed by the book file's name, in `out` of kPathMax bytes.
void BookFilePath(const Book* book, char* out);

}  // namespace ovel
