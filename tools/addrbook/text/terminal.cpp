#include "text/terminal.h"

#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace addrbook {
namespace {

// What the terminal tells on each platform; the rules around it are the
// same everywhere.

#if defined(_WIN32)

bool IsTerminalHandle(FILE* stream) { return _isatty(_fileno(stream)) != 0; }

// Columns of the console window, or 0 when it does not tell.
int WindowColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 0;
}

LocaleEncoding CodePageEncoding(UINT page) {
  if (page == CP_UTF8) return LocaleEncoding::kUtf8;
  if (page == 1252) return LocaleEncoding::kCp1252;
  if (page == 28591) return LocaleEncoding::kLatin1;
  return LocaleEncoding::kOther;
}

LocaleEncoding SystemTerminalEncoding() {
  return CodePageEncoding(GetConsoleOutputCP() ? GetConsoleOutputCP() : GetACP());
}

// The ANSI code page's when it is Windows-1252 or Latin-1, else UTF-8.
LocaleEncoding SystemOutputEncoding(LocaleEncoding) {
  UINT page = GetACP();
  return page == 1252    ? LocaleEncoding::kCp1252
         : page == 28591 ? LocaleEncoding::kLatin1
                         : LocaleEncoding::kUtf8;
}

// A console shows escape sequences only once asked to (Windows 10 on); an
// older one would print them.
bool ShowsEscapes(FILE* stream) {
  HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return GetConsoleMode(console, &mode) &&
         SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

#else

bool IsTerminalHandle(FILE* stream) { return isatty(fileno(stream)) != 0; }

int WindowColumns() {
  struct winsize size;
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 0;
}

// Codeset names compared as people spell them: in any case, with or without
// "-" and "_".
std::string Folded(const char* name) {
  std::string folded;
  for (; *name; ++name) {
    if (*name == '-' || *name == '_') continue;
    folded += *name >= 'A' && *name <= 'Z' ? static_cast<char>(*name + 32) : *name;
  }
  return folded;
}

bool SameName(const char* a, const char* b) { return Folded(a) == Folded(b); }

// The standard way: the locale the environment names, and its codeset
// ("UTF-8" however LANG spells it).
LocaleEncoding SystemTerminalEncoding() {
  setlocale(LC_ALL, "");
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset) return LocaleEncoding::kPlain;
  if (SameName(codeset, "UTF8")) return LocaleEncoding::kUtf8;
  if (SameName(codeset, "ANSI_X3.4-1968") || SameName(codeset, "ASCII") ||
      SameName(codeset, "US-ASCII")) {
    return LocaleEncoding::kPlain;
  }
  if (SameName(codeset, "ISO-8859-1") || SameName(codeset, "ISO8859-1")) {
    return LocaleEncoding::kLatin1;
  }
  if (SameName(codeset, "CP1252") || SameName(codeset, "WINDOWS-1252")) {
    return LocaleEncoding::kCp1252;
  }
  return LocaleEncoding::kOther;
}

LocaleEncoding SystemOutputEncoding(LocaleEncoding terminal) { return terminal; }

bool ShowsEscapes(FILE*) { return true; }

#endif

}  // namespace

bool IsTerminal(FILE* stream) { return IsTerminalHandle(stream); }

int TerminalColumns() {
  if (!IsTerminal(stdout)) return 0;
  if (int columns = WindowColumns(); columns > 0) return columns;
  const char* columns = std::getenv("COLUMNS");
  return columns && std::atoi(columns) > 0 ? std::atoi(columns) : 80;
}

LocaleEncoding TerminalEncoding() { return SystemTerminalEncoding(); }

LocaleEncoding OutputEncoding(LocaleEncoding terminal) { return SystemOutputEncoding(terminal); }

bool MayHighlight(FILE* stream) {
  const char* noColor = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  if (!IsTerminal(stream) || (noColor && *noColor) || (term && std::strcmp(term, "dumb") == 0)) {
    return false;
  }
  return ShowsEscapes(stream);
}

}  // namespace addrbook
