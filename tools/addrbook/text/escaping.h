// Book text and messages made safe for a terminal, in the output's
// encoding.
#pragma once

#include <string>

#include "text/encoding.h"

namespace addrbook {

struct OutputOptions {
  Encoding encoding = Encoding::kCp1252;
  bool showIndex = true;
  bool utf8 = false;                     // convert book text to UTF-8 for display
  Encoding display = Encoding::kCp1252;  // else the 8-bit encoding it is shown in
  bool highlight = false;                // show the surname in bold (a terminal)
  int columns = 0;                       // fit the table to this width; 0: no limit
};

// Book text as a terminal or a table shows it: in the output's encoding,
// with control characters escaped ("\x1b"), so that text from a book can
// never drive the terminal.
std::string ShownText(const std::string& text, const OutputOptions& options);
// UTF-8 text from a book or a file, safe for a terminal: C0 and C1 controls
// and DEL as "\x1b", the bidirectional embeddings, overrides and isolates
// (U+202A-202E, U+2066-2069) as "\u202e", bytes that are not UTF-8 as
// "\xff".  Every string from a book or an imported file goes to a
// terminal through this or ShownText.
std::string SafeText(const std::string& utf8);
// UTF-8 text (a message, a name from a file) as SafeText makes it, in the
// output's encoding: a character a Latin-1 or Windows-1252 output cannot
// show is shown as "\u20ac".
std::string ShownUtf8(const std::string& utf8, const OutputOptions& options);

}  // namespace addrbook
