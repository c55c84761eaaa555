// What the formats share: trimming, case, lines, kinds of address, and
// making a stored name from the parts of a name that files give.
#pragma once

#include <string>
#include <vector>

#include "formats/format.h"

namespace addrbook {

std::string Trimmed(const std::string& text);
// ASCII letters in lower case, trailing blanks taken off.
std::string Lower(std::string text);
// Characters (code points) of UTF-8 text.
size_t Utf8Length(const std::string& utf8);

// The lines of a text without their ends (LF or CRLF): line n at n - 1.
std::vector<std::string> Lines(const std::string& text);
// The first line that is neither blank nor a "#" comment, trimmed; "" when
// there is none.
std::string FirstContentLine(const std::string& text);

bool IsEmailAddress(const std::string& text);
// Digits with the usual separators (spaces, "-", ".", "/", brackets, a
// leading "+"), at least three of them.
bool IsPhoneNumber(const std::string& text);

// The parts of a person's name, as vCard's N and the exporters' columns
// give them.
struct NameParts {
  std::string prefix, given, middle, family, suffix;
  std::string formatted;  // the name as a whole (FN, Display Name), if given
};

// Sets the row's stored name from the parts: the formatted name when it
// ends with the family name (its words joined with "%", so that they are
// the surname), else prefix, given, middle and family names and suffix;
// the middle name, then the prefix and suffix, left out (and told in
// `shortened`) when the whole does not fit the book's OVEL_MAX_NAME characters.  A
// "%" in any part refuses the row: the book would take it for a join.
void SetName(const NameParts& parts, ImportRow* row);

// Sets the row's stored name from a name as shown and its surname (the
// spaces within the surname become "%").  A "%" refuses the row.
void SetShownName(const std::string& name, const std::string& surname, ImportRow* row);

}  // namespace addrbook
