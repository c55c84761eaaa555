#include "terminal.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
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

bool IsTerminal(FILE* stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

int TerminalColumns() {
  if (!IsTerminal(stdout)) return 0;
#if defined(_WIN32)
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
#else
  struct winsize size;
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
  const char* columns = std::getenv("COLUMNS");
  return columns && std::atoi(columns) > 0 ? std::atoi(columns) : 80;
}

#if !defined(_WIN32)
namespace {

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

}  // namespace
#endif

LocaleEncoding TerminalEncoding() {
#if defined(_WIN32)
  UINT page = GetConsoleOutputCP() ? GetConsoleOutputCP() : GetACP();
  if (page == CP_UTF8) return LocaleEncoding::kUtf8;
  if (page == 1252) return LocaleEncoding::kCp1252;
  if (page == 28591) return LocaleEncoding::kLatin1;
  return LocaleEncoding::kOther;
#else
  // The standard way: the locale the environment names, and its codeset
  // ("UTF-8" however LANG spells it).
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
#endif
}

LocaleEncoding OutputEncoding(LocaleEncoding terminal) {
#if defined(_WIN32)
  (void)terminal;
  UINT page = GetACP();
  return page == 1252    ? LocaleEncoding::kCp1252
         : page == 28591 ? LocaleEncoding::kLatin1
                         : LocaleEncoding::kUtf8;
#else
  return terminal;
#endif
}

bool MayHighlight(FILE* stream) {
  const char* noColor = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  if (!IsTerminal(stream) || (noColor && *noColor) || (term && std::strcmp(term, "dumb") == 0)) {
    return false;
  }
#if defined(_WIN32)
  // A console shows escape sequences only once asked to (Windows 10 on);
  // an older one would print them.
  HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return GetConsoleMode(console, &mode) &&
         SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
  return true;
#endif
}

}  // namespace addrbook
