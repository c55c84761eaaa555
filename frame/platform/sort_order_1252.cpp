// The case-insensitive order of 8-bit keys, on every system: exactly that
// of lstrcmpiA on a Western (code page 1252) Windows system.  A book's text
// is Windows-1252 whatever the system's code page, so Windows uses this
// too rather than lstrcmpiA, which reads the bytes in the ANSI code page
// (on a Japanese system an accented letter would be a katakana, sorting
// after "Z").  The weights come from the real function (see
// scripts/make-sort-weights.sh); they are composed as Windows composes a
// sort key, level by level, without building the key.
#include <cstdint>

#include "frame/platform.h"

namespace ovel {
namespace {

struct SortWeights {
  uint16_t primary[2];
  uint8_t diacritic[2];
  uint8_t letterCase[2];
  uint8_t count;     // primary weights: 0 for a special or ignored byte
  uint16_t special;  // the weight of a special byte (hyphen, apostrophe, ...)
};

constexpr SortWeights kWeights[256] = {
#include "frame/platform/sort_weights_1252.inc"
};

enum Level { kPrimary, kDiacritic, kCase };

// Walks the weights of one level of a key.
struct WeightCursor {
  const unsigned char* at;
  unsigned index = 0;  // among the weights of the byte at `at`

  // The next weight, or -1 at the end of the key.
  int Next(Level level) {
    for (;; ++at, index = 0) {
      if (*at == 0) return -1;
      const SortWeights& w = kWeights[*at];
      if (index < w.count) {
        unsigned i = index++;
        return level == kPrimary     ? w.primary[i]
               : level == kDiacritic ? w.diacritic[i]
                                     : w.letterCase[i];
      }
    }
  }
};

int Sign(int64_t difference) { return difference < 0 ? -1 : difference > 0 ? 1 : 0; }

// Primary weights: a key that ends first sorts first.
int ComparePrimary(const unsigned char* a, const unsigned char* b) {
  WeightCursor x{a}, y{b};
  for (;;) {
    int wx = x.Next(kPrimary);
    int wy = y.Next(kPrimary);
    if (wx != wy) return Sign(wx - wy);
    if (wx < 0) return 0;
  }
}

// Diacritic or case weights, one per primary weight.  Windows leaves out
// the default weight 2 at the end of a level, which compares as a key
// padded with 2s.
int CompareSecondary(const unsigned char* a, const unsigned char* b, Level level) {
  WeightCursor x{a}, y{b};
  for (;;) {
    int wx = x.Next(level);
    int wy = y.Next(level);
    if (wx < 0 && wy < 0) return 0;
    int difference = (wx < 0 ? 2 : wx) - (wy < 0 ? 2 : wy);
    if (difference) return Sign(difference);
  }
}

// The next special byte's entry: its position (0xFFFF less the primary
// weights before it) and its weight; -1 at the end of the key.
int64_t NextSpecial(const unsigned char** at, unsigned* primaries) {
  for (; **at; ++*at) {
    const SortWeights& w = kWeights[**at];
    *primaries += w.count;
    if (w.special) {
      int64_t entry = (static_cast<int64_t>(0xFFFF - *primaries) << 16) | w.special;
      ++*at;
      return entry;
    }
  }
  return -1;
}

int CompareSpecial(const unsigned char* a, const unsigned char* b) {
  unsigned pa = 0, pb = 0;
  for (;;) {
    int64_t ex = NextSpecial(&a, &pa);
    int64_t ey = NextSpecial(&b, &pb);
    if (ex != ey) return Sign(ex - ey);
    if (ex < 0) return 0;
  }
}

}  // namespace

int PlatformCompareNoCase(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  // A common beginning gives both keys the same weights at every level
  // (and the same count of primary weights before what follows), so the
  // comparison starts where the bytes first differ.
  while (*x && *x == *y) ++x, ++y;
  if (*x == *y) return 0;
  if (int order = ComparePrimary(x, y)) return order;
  if (int order = CompareSecondary(x, y, kDiacritic)) return order;
  if (int order = CompareSecondary(x, y, kCase)) return order;
  return CompareSpecial(x, y);
}

}  // namespace ovel
