// Letters of any case made one, for matching the names of columns that
// programs write in many languages.
#pragma once

#include <string>

namespace addrbook {

// UTF-8 text with its letters in lower case: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic (simple case folding; other characters,
// and bytes that are not UTF-8, stay as they are); trailing blanks taken
// off.
std::string FoldCase(const std::string& utf8);

}  // namespace addrbook
