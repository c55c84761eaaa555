// The Book: the record shared by every Client of one directory.
#pragma once

#include <cstdint>

#include "frame/platform.h"
#include "frame/record_chain.h"

struct Client;

namespace ovel {

struct Entry;
struct BookFiles;

inline constexpr char kBookFileName[] = "ADDRBOOK.DAT";
// Beside the book file (beside the file a symbolic link names): the file
// whose lock orders every process's loads and changes of the book.
inline constexpr char kLockFileName[] = "ADDRBOOK.LCK";

// Entries of the sorted list, in list order, from which an insertion's
// search starts instead of the list's head (store/insert_position.cpp).
// They hold while `changeCount` is the Book's: every other change of the
// list bumps that count and so drops them.
inline constexpr unsigned kAnchorCapacity = 1024;
struct KeyAnchors {
  uint32_t changeCount;
  bool valid;
  uint16_t count;
  Entry* entries[kAnchorCapacity];
};

// A version of the book file: the file's own stamp and the count of saves
// kept in the lock file (which tells versions apart even when the system
// gives a new file the number and time of an old one).
struct BookVersion {
  FileStamp file;
  uint64_t saves;
  bool savesKnown;  // false when the lock file could not be read
};

struct Book {
  ChainLink link;
  // The process that made the record.  A forked child never shares it: the
  // record's lock and transaction are its parent's.
  ProcessId process;
  char path[kPathMax];  // absolute directory as its first caller spelt it, ending in a separator
  char key[kPathMax];   // the path as Books are shared by: upper case where names ignore case
  int32_t clientCount;
  int16_t loadCount;  // load references on the entry list
  int32_t dirty;      // the entry list differs from the file
  Entry* entries;     // sorted entry list, while loaded
  int16_t nextId;     // id of the next added entry
  uint16_t entryCount;
  // Bumped whenever the shape of the entry list changes (insertion, deletion,
  // load, unload); lets views keep a cursor that is valid only meanwhile.
  uint32_t changeCount;
  KeyAnchors anchors;
  // The version of the file the entry list was read from or written as.
  BookVersion version;
  // Bumped by every load.  The list a view last read is known by it.
  uint32_t loads;
  // The list before the last reload, kept while views may still name its
  // entries by index; valid when hasPrevious.
  Entry* previousEntries;
  uint32_t previousLoads;
  bool hasPrevious;
  // The list held changes the file does not and the file could not be read
  // again to put it back: views show nothing until it can, and fail with
  // the cause noted then.
  bool listDropped;
  long dropCause;
  // During one call that reads or changes the file: where the book's files
  // are, and the lock held (kNoLock when none).
  const BookFiles* files;
  BookLock lock;
  // This Book's first save has looked for files that dead saves left.
  bool leftoversSwept;
  // The Client whose transaction is open, or null.  The transaction holds,
  // from its begin to its end, the lock above, the files it names (in
  // heldFiles) and a load reference.
  Client* transaction;
  BookFiles* heldFiles;
};

extern RecordChain gBookChain;

// The Book of a directory, shared with every Client of this process already
// on it; 0 when the path cannot be formed or there is no memory.
LocalRef OpenBook(const char* directory);
// Drops a Client from a Book, freeing the Book with its last Client.
void CloseBook(LocalRef bookHandle);

// `path` followed by the book file's name, in `out` of kPathMax bytes.
void BookFilePath(const Book* book, char* out);

}  // namespace ovel
