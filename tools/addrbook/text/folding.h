// Text folded for searching as people type: in one case, without accents,
// without apostrophes, character by character in any of the book's
// encodings.
#pragma once

#include <string>

#include "text/encoding.h"

namespace addrbook {

// A letter in lower case: ASCII, Latin-1, Latin Extended-A, Greek (with
// and without tonos) and Cyrillic, by simple case folding; any other
// character as it is.
char32_t LowerLetter(char32_t code);

// UTF-8 text folded: letters in lower case (Latin, Greek, Cyrillic), the
// accented Latin letters as their base letters ("Müller" as "muller", "Æ"
// as "ae", "ß" as "ss"), combining marks and apostrophes left out (so
// "oneill" finds "O'Neill").  Other characters stay as they are.
std::string Folded(const std::string& utf8);

// Looks for text in book text: folded (the default) or byte for byte.
class TextMatcher {
 public:
  // `wanted` is UTF-8 when folded, book text when exact.
  TextMatcher(const std::string& wanted, Encoding encoding, bool exact);
  // True when `bookText` holds the wanted text.
  bool Holds(const std::string& bookText) const;
  // True when `bookText` is the wanted text.
  bool Equals(const std::string& bookText) const;
  // True when `bookText` begins with the wanted text.
  bool Begins(const std::string& bookText) const;

 private:
  std::string Key(const std::string& bookText) const;
  std::string wanted_;
  Encoding encoding_;
  bool exact_;
};

}  // namespace addrbook
