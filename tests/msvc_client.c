/* A caller built by Microsoft's toolchain conventions (clang for
 * i686-pc-windows-msvc, linked by lld-link against ovel.lib) with no C
 * library at all: it calls all eleven functions and reports through its
 * exit status.  The book directory is the current directory. */
#include "ovel.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

static int same(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

int __cdecl start(void) {
  Client* client = 0;
  int failed = 0;
  if (!OvelInitialize(&client, ".")) ExitProcess(10);
  failed |= OvelAddItem(client, "Ann Lee", "ann@example.org", 0) != 1;
  failed |= OvelAddItem(client, "Bo van%Dyke", "bo@example.org", "note") != 1;
  ViewHandle view = OvelInitView(client, 1);
  failed |= view == 0;
  failed |= OvelGetViewCount(view) < 2;
  ViewItem* item = OvelGetViewItem(view, 0);
  failed |= item == 0 || !same(item->name, "Ann Lee") || item->surnameOffset != 4;
  OvelFreeItem(item);
  failed |= OvelDeleteViewItem(view, 0) != 1;
  failed |= OvelDeleteViewItem(view, 0) != 1;
  failed |= OvelGetViewCount(view) != 0;
  failed |= OvelExpandGroup(client, "nobody", 1) != 0;
  OvelFreeGroup(0);
  failed |= OvelFreeView(view) != 1;
  failed |= OvelTerminate(client) != 1;
  ExitProcess(failed ? 1 : 0);
  return 0;
}
