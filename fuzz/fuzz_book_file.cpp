// The input bytes become ADDRBOOK.DAT.  Opens a view with groups, copies
// out every entry, expands every group flat and recursively, adds one entry
// and deletes one; whenever the book loaded, the file written afterwards
// must load again to exactly the entries that were in memory.
#include <string>

#include "fuzz_support.h"

using namespace ovel_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = ScratchDirectory("book");
  static const std::string file = dir + "/ADDRBOOK.DAT";
  WriteFile(file, data, size);

  Client* client = nullptr;
  if (!OvelInitialize(&client, dir.c_str())) Fail("initialize failed");
  ViewHandle view = OvelInitView(client, 1);
  if (!view) {
    // A book that does not load is never written.
    if (OvelAddItem(client, "Fuzz Entry", "fuzz@example.org", nullptr)) Fail("added to a bad book");
    if (ReadFile(file) != std::vector<uint8_t>(data, data + size)) Fail("a bad book changed");
    OvelTerminate(client);
    return 0;
  }
  std::vector<Copied> items = CopyAll(view);
  if (OvelGetViewItem(view, static_cast<int>(items.size())) != nullptr) Fail("item past the end");
  for (const Copied& item : items) {
    if (item.surnameOffset < 0 || static_cast<size_t>(item.surnameOffset) > item.name.size()) {
      Fail("surname offset outside the name");
    }
    if (!item.group) continue;
    for (int recursive = 0; recursive <= 1; ++recursive) {
      MemberItem* members = OvelExpandGroup(client, item.name.c_str(), recursive);
      for (MemberItem* m = members; m; m = m->next) {
        if (!m->name || !m->address || !m->comment) Fail("a member is missing");
        if (recursive && m->group) Fail("a recursive expansion listed a group");
      }
      OvelFreeGroup(members);
    }
  }

  bool full = items.size() >= OVEL_MAX_ENTRIES;
  int added = OvelAddItem(client, "Fuzz Entry", "fuzz@example.org", "note");
  if (added != (full ? 0 : 1)) Fail("add gave the wrong result");
  if (OvelDeleteViewItem(view, 0) != 1) Fail("delete failed");

  // Round trip: what is in memory must be what the file now holds.
  std::vector<Copied> inMemory = CopyAll(view);
  if (inMemory.size() != items.size() + added - (items.size() + added > 0 ? 1 : 0)) {
    Fail("count after add and delete");
  }
  OvelFreeView(view);
  view = OvelInitView(client, 1);
  if (!view) Fail("the written book does not load");
  if (CopyAll(view) != inMemory) Fail("the written book loads differently");
  OvelFreeView(view);
  if (OvelTerminate(client) != 1) Fail("terminate failed");
  return 0;
}
