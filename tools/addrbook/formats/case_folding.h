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

// A letter of Latin-1 or Latin Extended-A without its accent, as ASCII
// ("é" as "e", "ß" as "ss", "Ł" as "L"); "" for any other character.
std::string Unaccented(char32_t code);

}  // namespace addrbook
