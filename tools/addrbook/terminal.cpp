#include "terminal.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
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

bool TerminalIsUtf8() {
#if defined(_WIN32)
  return GetConsoleOutputCP() == CP_UTF8;
#else
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return std::strstr(value, "UTF-8") || std::strstr(value, "utf8");
  }
  return false;
#endif
}

}  // namespace addrbook
