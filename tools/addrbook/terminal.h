// What the tool needs to know of the terminal it writes to.
#pragma once

#include <cstdio>

namespace addrbook {

bool IsTerminal(FILE* stream);
// Columns of the terminal on standard output, or 0 when it is not one.
int TerminalColumns();
// True when the locale asks for UTF-8 output.
bool TerminalIsUtf8();

}  // namespace addrbook
