// What the formats share: trimming, case, lines, kinds of address, and
// making a stored name from the parts of a name that files give.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "formats/format.h"

namespace addrbook {

std::string Trimmed(const std::string& text);
std::string_view TrimmedView(std::string_view text);
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

// The byte at text[*i]; a C1 control written in UTF-8 (C2 80 to C2 9F)
// as its code, with *i moved to its second byte and `c1` set.
unsigned char ByteOrC1(const std::string& text, size_t* i, bool* c1);
// A code as "\x" and two hex digits ("\x1b"), as the writers escape
// controls; and the value of a hex digit (-1 for another character).
std::string HexEscape(unsigned char code);
int HexDigit(char c);

// Where the book puts the surname of a name without "%": after the last
// space before the last word (trailing blanks belong to the surname).
size_t LastWordStart(const std::string& name);
// True when the book would give the entry's name, written without "%",
// the surname it has.
bool SplitByLastWord(const Entry& entry);

// Adds to the writer's notices that `what` happened to the entry (UTF-8):
// "entry 3 (Ann Lee): WHAT".
void Tell(const WriteOptions& options, const Entry& entry, const std::string& what);

// The parts of a person's name, as vCard's N and the exporters' columns
// give them.
struct NameParts {
  std::string prefix, given, middle, family, suffix;
  std::string formatted;           // the name as a whole (FN, Display Name), if given
  std::string organisation;        // names a contact without a person's name
  bool organisationFirst = false;  // the file shows the contact as its organisation
  bool exact = false;              // this tool's own file: parts kept with their blanks
};

// Sets the row's stored name from the parts (the row's address set
// first): the organisation's (as OrganisationName makes it) when the file
// shows the contact as its organisation or there is no person's name but
// the organisation's; the formatted name when it ends with the family name
// (its words joined with "%", so that they are the surname) or is written
// without spaces (Chinese, Japanese, Korean) and holds the family and
// given names, kept whole; else prefix, given, middle and family names and
// suffix; a contact without a name named by its address (NameByAddress);
// the middle name, then the prefix and suffix, left out (and told in
// `shortened`) when the whole does not fit the book's OVEL_MAX_NAME characters.  A
// "%" in any part refuses the row: the book would take it for a join.
void SetName(NameParts parts, ImportRow* row);

// Sets the row's stored name from a name as shown and its surname (the
// spaces within the surname become "%"); without a name, named by its
// address.  A "%" refuses the row.
void SetShownName(const std::string& name, const std::string& surname, ImportRow* row);

// The words of a family name joined with "%", so that the book takes them
// all for the surname.
std::string Joined(std::string words);

// Names a contact by its organisation: the whole name is the surname (its
// words joined with "%"), shortened at a space to the book's limit (told
// in `shortened`).  A "%" refuses the row.
void OrganisationName(const std::string& organisation, ImportRow* row);
// Names a contact without a name by its address (an e-mail address, a
// phone number), its first line up to a "%" or control, shortened at a
// "@", ".", "-", "_", "+" or space to the book's limit (told in
// `shortened`); no name when there is no address.
void NameByAddress(ImportRow* row);

}  // namespace addrbook
