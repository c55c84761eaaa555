// The text of mutt's alias lines: RFC 5322 phrases and mailboxes quoted
// and read back, alias keys made of names, and comments that keep their
// line breaks.  The mutt format (mutt.cpp) reads and writes through these.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace addrbook {

// Splits at `separator` outside double quotes, angle brackets and
// parentheses; a backslash escapes the next character (kept).
std::vector<std::string> SplitOutside(const std::string& text, char separator);

// A name as read from a mailbox: its text, and where an unescaped comma
// splits it into "Family, Given" (npos when none does).
struct PhraseText {
  std::string text;
  size_t comma = std::string::npos;
};

// A name and address from "Name <address>", "address (Name)" or a bare
// address; quoted text exact, backslash escapes undone, the local part
// of an address unquoted.  `bare` tells an address without brackets or
// name (perhaps another alias's key).
void ReadMailbox(const std::string& text, PhraseText* name, std::string* address, bool* bare);

// True when an address can be written as a mailbox: a local part and a
// domain of letters, digits, "." and "-" (or other than ASCII), no
// control character.
bool IsMailAddress(const std::string& utf8);
// "phrase <address>", each quoted as RFC 5322 needs; commas within the
// family name and given names escaped, one comma between them when
// `given` is set ("Family, Given", or "Family," when it is empty).
std::string MailboxText(const std::string& family, const std::string* given,
                        const std::string& address);

// A key of letters, digits, "-", "_" and "." made of a name (accented
// Latin letters without their accents), unique among `used`.
std::string AliasKey(const std::string& utf8Name, std::set<std::string>* used);

// A comment on one line: backslash, line breaks and controls escaped
// ("\\n", "\\r", "\\x1b"), and blanks at its edges ("\\x20"); and back.
std::string EscapedComment(const std::string& utf8);
std::string UnescapedComment(const std::string& text);

}  // namespace addrbook
