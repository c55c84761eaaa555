// Close matches for a mistyped word: "did you mean --format?".
#pragma once

#include <string>
#include <vector>

namespace addrbook {

// The candidate closest to `word` (ASCII, in any case) when it is close
// enough to be what was meant: at most one edit (a letter added, left
// out, changed, or two swapped) for a short word, two for a longer one;
// "" when none is.  The first of equally close candidates wins.
std::string ClosestWord(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace addrbook
