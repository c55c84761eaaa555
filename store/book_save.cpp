// Saving a Book: the list numbered afresh, written whole to a new file and
// put in the book file's place, or everything as it was.
#include <cstring>

#include "frame/allocator.h"
#include "frame/platform.h"
#include "store/book_file.h"

namespace ovel {
namespace {

// The list numbered for a save: each entry takes its position as its id
// and keeps the old one until the save ends.
struct SavePlan {
  uint16_t count;       // entries numbered
  uint16_t groupCount;  // of them groups, in `groups`
  uint32_t bound;       // the size the file can need
  // The new id of each old id (the first entry in list order owns a
  // repeated id).
  uint16_t newIdOfId[kIdMask + 1];
  Entry* groups[kMaxEntries];
};

// Gives the first `count` entries back the ids they had before a save
// renumbered them.
void RestoreIds(Book* book, uint16_t count) {
  Entry* entry = book->entries;
  for (uint16_t i = 0; i < count && entry; ++i, entry = entry->next) {
    entry->flags = (entry->flags & kGroupFlag) | entry->oldId;
  }
}

// Numbers the list in one walk; false (kBookFull, the ids as they were)
// when it holds more entries than a file can.
bool NumberEntries(Book* book, SavePlan* plan) {
  memset(plan->newIdOfId, 0, sizeof plan->newIdOfId);
  plan->count = 0;
  plan->groupCount = 0;
  plan->bound = kHeaderSize;
  for (Entry* entry = book->entries; entry; entry = entry->next) {
    if (plan->count == kMaxEntries) {
      PlatformNoteCause(Cause::kBookFull);
      RestoreIds(book, plan->count);
      return false;
    }
    entry->oldId = EntryId(entry);
    entry->flags = (entry->flags & kGroupFlag) | ++plan->count;
    uint16_t* slot = &plan->newIdOfId[entry->oldId];
    if (!*slot) *slot = plan->count;
    if (IsGroup(entry)) plan->groups[plan->groupCount++] = entry;
    plan->bound += EntrySizeBound(entry);
  }
  return true;
}

// Marks a save as under way in the lock file's count of saves, which is odd
// meanwhile: a save that finds it odd follows one that died and may have
// left its temporary files.  They are looked for then, and once per Book (a
// power cut may have kept the files but lost the count); not at every save,
// since listing a large directory costs more than the rest of the save.
// Gives the (even) count the save starts from.  The mark is what tells
// other programs that the book changed: where the lock file is writable
// and the mark cannot be stored, the save fails (the cause noted) before
// the book is touched.
bool StartSave(Book* book, const BookFiles& files, BookVersion* version, uint64_t* before) {
  *version = book->version;
  if (!version->savesKnown) ReadSaves(book, version);
  if (!book->leftoversSwept || (version->saves & 1)) {
    PlatformRemoveStaleFiles(files.directory);
    book->leftoversSwept = true;
  }
  *before = version->saves + (version->saves & 1);
  return !version->savesKnown || !book->lock.writable ||
         PlatformWriteLockCount(book->lock, *before + 1);
}

// Writes `bytes` to a new file beside the book file, flushes it, and puts it
// in the book file's place.  On failure the book file holds the old book,
// unless `*undoFailed` (see PlatformReplaceDurably).
bool WriteBookFile(const BookFiles& files, const uint8_t* bytes, uint32_t size, bool* undoFailed) {
  *undoFailed = false;
  char temporary[kPathMax];
  FileRef file;
  if (!PlatformCreateUnique(files.directory, files.file, temporary, &file)) return false;
  bool written = PlatformWrite(file, bytes, size) && PlatformFlush(file);
  written = PlatformClose(file) && written;
  written = written && PlatformReplaceDurably(temporary, files.file, files.directory, undoFailed);
  if (!written) PlatformRemove(temporary);
  return written;
}

// Serializes the numbered list and writes it as the book file.
bool WriteNumberedList(const Book* book, const BookFiles& files, const SavePlan& plan,
                       bool* undoFailed) {
  *undoFailed = false;
  uint8_t* bytes = static_cast<uint8_t*>(AllocScratchBlock(plan.bound));
  if (!bytes) return false;
  uint32_t size = SerializeBook(book->entries, plan.count, plan.newIdOfId, bytes);
  bool written = WriteBookFile(files, bytes, size, undoFailed);
  FreeBlock(bytes);
  return written;
}

// After a save: the members translated to the new ids (those that name no
// entry dropped), the list clean, and the version just written, which the
// count of saves tells from every earlier one whatever stamp the system
// gives the file.  Where the final count cannot be stored, the lock file
// keeps the odd mark, a count no earlier version had, and the Book no
// longer trusts counts until it reads one.
void FinishSave(Book* book, const BookFiles& files, const SavePlan& plan, BookVersion version,
                uint64_t before) {
  for (uint16_t g = 0; g < plan.groupCount; ++g) {
    Entry* group = plan.groups[g];
    group->members[0] = TranslateMembers(group, NewIdOf{plan.newIdOfId}, group->members + 1);
  }
  book->nextId = static_cast<int16_t>(plan.count + 1);
  book->dirty = 0;
  version.saves = before + 2;
  version.savesKnown = version.savesKnown && PlatformWriteLockCount(book->lock, version.saves);
  if (!PlatformStampAt(files.file, &version.file)) version.file = {};
  book->version = version;
}

// After a failed save: the old ids and the count of saves back.  The file
// holds the book as it was, but keeping the old book aside changed its
// change time: the list is still that of the file.  Where the new book
// could not be taken back, the next call reads it.
void UndoSave(Book* book, const BookFiles& files, const SavePlan& plan, const BookVersion& version,
              bool undoFailed) {
  long cause = PlatformNotedCause();
  RestoreIds(book, plan.count);
  if (version.savesKnown) PlatformWriteLockCount(book->lock, version.saves);
  FileStamp now;
  if (!undoFailed && PlatformStampAt(files.file, &now)) book->version.file = now;
  PlatformRestoreCause(cause);
}

}  // namespace

bool SaveBook(Book* book) {
  if (book->loadCount <= 0 || !book->dirty) return true;
  // Only a holder of the exclusive lock may write: it alone knows that no
  // other process is changing the file, or saving into its directory.
  const BookFiles* files = book->files;
  if (!book->lock.exclusive || !files) {
    PlatformNoteCause(Cause::kInvalidHandle);
    return false;
  }
  if (!PlatformMayReplace(files->file)) return false;
  SavePlan* plan = static_cast<SavePlan*>(AllocScratchBlock(sizeof(SavePlan)));
  if (!plan) return false;
  bool saved = false;
  if (NumberEntries(book, plan)) {
    BookVersion version;
    uint64_t before;
    bool undoFailed = false;
    saved = StartSave(book, *files, &version, &before) &&
            WriteNumberedList(book, *files, *plan, &undoFailed);
    if (saved) {
      FinishSave(book, *files, *plan, version, before);
    } else {
      UndoSave(book, *files, *plan, version, undoFailed);
    }
  }
  FreeBlock(plan);
  return saved;
}

bool SaveChange(Book* book) { return book->transaction || SaveBook(book); }

}  // namespace ovel
