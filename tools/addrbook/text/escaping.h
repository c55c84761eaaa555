// Book text and messages made safe for a terminal, in the output's
// encoding.
#pragma once

#include <string>
#include <vector>

#include "text/encoding.h"

namespace addrbook {

struct OutputOptions {
  Encoding encoding = Encoding::kCp1252;
  bool showIndex = true;
  bool utf8 = false;                     // convert book text to UTF-8 for display
  Encoding display = Encoding::kCp1252;  // else the 8-bit encoding it is shown in
  bool highlight = false;                // show the surname in bold (a terminal)
  int columns = 0;                       // fit the table to this width; 0: no limit
  bool markLineBreaks = false;           // a line break as LineBreakMark (tables)
};

// What a table shows for a line break (LF, CR or CRLF) within a text: "↵"
// in UTF-8, "¶" in Latin-1 or Windows-1252, which have no "↵".
std::string LineBreakMark(const OutputOptions& options);

// The lines of book text, split at LF, CR or CRLF.
std::vector<std::string> TextLines(const std::string& text);

// Book text as a terminal or a table shows it: in the output's encoding,
// with every byte that is a control there escaped ("\x1b"; in Windows-1252
// also its five undefined bytes, which a terminal takes for C1 controls),
// so that text from a book can never drive the terminal.  Bytes of a UTF-8
// book that are not UTF-8 show as "\xe9".
std::string ShownText(const std::string& text, const OutputOptions& options);
// UTF-8 text from a book or a file, safe for a terminal: C0 and C1 controls
// and DEL as "\x1b"; the bidirectional marks, embeddings, overrides and
// isolates (U+200E, U+200F, U+061C, U+202A-202E, U+2066-2069) and the line
// and paragraph separators (U+2028, U+2029) as "\u202e"; bytes that are
// not UTF-8 as "\xff".  Every string from a book or an imported file goes to a
// terminal through this or ShownText.
std::string SafeText(const std::string& utf8);
// UTF-8 text (a message, a name from a file) as SafeText makes it, in the
// output's encoding: a character a Latin-1 or Windows-1252 output cannot
// show is shown as "\u20ac".
std::string ShownUtf8(const std::string& utf8, const OutputOptions& options);

}  // namespace addrbook
