// Loads ovel.dll as any Windows program might, finds all eleven functions
// by their plain names and calls them through __stdcall pointers.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "ovel.h"

namespace {

int failures;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "failed: %s\n", what);
    ++failures;
  }
}

template <typename Function>
Function Find(HMODULE library, const char* name) {
  FARPROC address = GetProcAddress(library, name);
  Check(address != nullptr, name);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

}  // namespace

int main(int argc, char** argv) {
  const char* directory = argc > 1 ? argv[1] : ".";
  HMODULE library = LoadLibraryA("ovel.dll");
  Check(library != nullptr, "LoadLibraryA(ovel.dll)");
  if (!library) return 1;
  auto initialize = Find<int(OVELAPI*)(Client**, const char*)>(library, "OvelInitialize");
  auto terminate = Find<int(OVELAPI*)(Client*)>(library, "OvelTerminate");
  auto addItem =
      Find<int(OVELAPI*)(Client*, const char*, const char*, const char*)>(library, "OvelAddItem");
  auto initView = Find<ViewHandle(OVELAPI*)(Client*, int)>(library, "OvelInitView");
  auto getViewCount = Find<int(OVELAPI*)(ViewHandle)>(library, "OvelGetViewCount");
  auto getViewItem = Find<ViewItem*(OVELAPI*)(ViewHandle, int)>(library, "OvelGetViewItem");
  auto freeItem = Find<void(OVELAPI*)(ViewItem*)>(library, "OvelFreeItem");
  auto deleteViewItem = Find<int(OVELAPI*)(ViewHandle, int)>(library, "OvelDeleteViewItem");
  auto freeView = Find<int(OVELAPI*)(ViewHandle)>(library, "OvelFreeView");
  auto expandGroup =
      Find<MemberItem*(OVELAPI*)(Client*, const char*, int)>(library, "OvelExpandGroup");
  auto freeGroup = Find<void(OVELAPI*)(MemberItem*)>(library, "OvelFreeGroup");
  auto addGroup = Find<int(OVELAPI*)(Client*, const char*, const char*)>(library, "OvelAddGroup");
  using MemberCall = int(OVELAPI*)(ViewHandle, const char*, int);
  auto addMember = Find<MemberCall>(library, "OvelAddGroupMember");
  auto removeMember = Find<MemberCall>(library, "OvelRemoveGroupMember");
  Check(GetProcAddress(library, "_OvelInitialize@8") == nullptr, "no decorated export");
  if (failures) return 1;

  char path[MAX_PATH];
  std::snprintf(path, sizeof path, "%s\\ADDRBOOK.DAT", directory);
  DeleteFileA(path);
  Client* client = nullptr;
  Check(initialize(&client, directory) == 1, "OvelInitialize");
  Check(addItem(client, "Bo Zed", "bo", "note") == 1, "OvelAddItem");
  Check(addItem(client, "Al Adams", "al", nullptr) == 1, "OvelAddItem");
  ViewHandle view = initView(client, 0);
  Check(getViewCount(view) == 2, "OvelGetViewCount");
  ViewItem* item = getViewItem(view, 0);
  Check(item && std::strcmp(item->name, "Al Adams") == 0, "OvelGetViewItem");
  freeItem(item);
  Check(expandGroup(client, "none", 1) == nullptr, "OvelExpandGroup");
  freeGroup(nullptr);
  Check(addGroup(client, "Crew", "ship") == 1, "OvelAddGroup");
  Check(addMember(view, "crew", 0) == 1, "OvelAddGroupMember");
  MemberItem* members = expandGroup(client, "Crew", 0);
  Check(members && std::strcmp(members->name, "Al Adams") == 0 && !members->next, "a member");
  freeGroup(members);
  Check(removeMember(view, "Crew", 0) == 1, "OvelRemoveGroupMember");
  Check(expandGroup(client, "Crew", 0) == nullptr, "no member left");
  Check(deleteViewItem(view, 0) == 1, "OvelDeleteViewItem");
  Check(getViewCount(view) == 1, "count after delete");
  Check(freeView(view) == 1, "OvelFreeView");
  Check(terminate(client) == 1, "OvelTerminate");
  FreeLibrary(library);
  if (failures) return 1;
  std::printf("1 passed, 0 failed\n");
  return 0;
}
