// What the tool needs to know of the terminal it writes to.
#pragma once

#include <cstdio>

namespace addrbook {

bool IsTerminal(FILE* stream);
// Columns of the terminal on standard output, or 0 when it is not one.
int TerminalColumns();
// The encoding of arguments and terminal text, from the locale
// (setlocale and nl_langinfo(CODESET); the console's code page on Windows).
enum class LocaleEncoding {
  kUtf8,
  kPlain,  // the C or POSIX locale: ASCII, and UTF-8 where arguments are valid UTF-8
  kLatin1,
  kCp1252,
  kOther,  // only ASCII can be trusted
};
LocaleEncoding TerminalEncoding();
// The encoding of tables and messages written to standard output when it
// is not a Windows console: the locale's on POSIX; on Windows the ANSI code
// page's when it is Windows-1252 or Latin-1, else UTF-8.
LocaleEncoding OutputEncoding(LocaleEncoding terminal);
// True when bold text may be written: a terminal, NO_COLOR unset, TERM not
// "dumb".
bool MayHighlight(FILE* stream);

}  // namespace addrbook
