#include "store/insert_position.h"

#include <cstring>

namespace ovel {
namespace {

// A walk marks every kStride-th entry it passes; one of at least twice
// that many steps makes its marks anchors, so later walks stay short.
constexpr unsigned kStride = 8;
constexpr unsigned kMarks = kMaxEntries / kStride + 1;

bool KeyBefore(const Entry* entry, const char* key) {
  return PlatformCompareNoCase(SortKey(entry), key) < 0;
}

// How many anchors come before `key`.  Anchors are in list order, so
// their keys never decrease and those before the key come first.
unsigned AnchorsBefore(const KeyAnchors& anchors, const char* key) {
  unsigned low = 0, high = anchors.count;
  while (low < high) {
    unsigned middle = low + (high - low) / 2;
    if (KeyBefore(anchors.entries[middle], key)) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

// Puts `count` entries, in list order, among the anchors at `at`; left
// out when they do not fit (anchors only shorten walks).
void AddAnchors(KeyAnchors* anchors, unsigned at, Entry* const* marks, unsigned count) {
  if (count == 0 || anchors->count + count > kAnchorCapacity) return;
  memmove(anchors->entries + at + count, anchors->entries + at,
          sizeof(Entry*) * (anchors->count - at));
  memcpy(anchors->entries + at, marks, sizeof(Entry*) * count);
  anchors->count = static_cast<uint16_t>(anchors->count + count);
}

}  // namespace

Entry** InsertionLink(Book* book, const char* key) {
  KeyAnchors& anchors = book->anchors;
  if (!anchors.valid || anchors.changeCount != book->changeCount) {
    anchors.count = 0;
    anchors.valid = true;
    anchors.changeCount = book->changeCount;
  }
  // Every entry up to the last anchor before the key has a smaller key;
  // the first anchor after it has not, so the walk ends there at the
  // latest.
  unsigned before = AnchorsBefore(anchors, key);
  Entry** link = before ? &anchors.entries[before - 1]->next : &book->entries;
  Entry* marks[kMarks];
  unsigned steps = 0, marked = 0;
  while (*link && KeyBefore(*link, key)) {
    if (++steps % kStride == 0 && marked < kMarks) marks[marked++] = *link;
    link = &(*link)->next;
  }
  if (steps >= 2 * kStride) AddAnchors(&anchors, before, marks, marked);
  return link;
}

void AnchorsKeptByInsertion(Book* book) {
  KeyAnchors& anchors = book->anchors;
  if (anchors.valid && anchors.changeCount + 1 == book->changeCount) {
    anchors.changeCount = book->changeCount;
  }
}

}  // namespace ovel
