#include "book_access.h"

#include <filesystem>
#include <fstream>
#include <iostream>

namespace addrbook {

BookAccess::~BookAccess() {
  if (client_) OvelTerminate(client_);
}

bool BookAccess::Open() {
  if (OvelInitialize(&client_, directory_.c_str())) return true;
  Fail("the directory name cannot be used (too long?)");
  return false;
}

ViewHandle BookAccess::Walk(bool groups, std::vector<Entry>* entries) {
  ViewHandle view = OvelInitView(client_, groups ? 1 : 0);
  if (!view) {
    // Tell a book the caller may not read from a damaged one.
    std::filesystem::path file = std::filesystem::path(directory_) / "ADDRBOOK.DAT";
    std::error_code ignored;
    bool unreadable = std::filesystem::exists(file, ignored) && !std::ifstream(file).is_open();
    Fail(unreadable ? "ADDRBOOK.DAT: permission denied"
                    : "the book cannot be read (damaged, or not a book file)");
    return nullptr;
  }
  entries->clear();
  int count = OvelGetViewCount(view);
  for (int i = 0; i < count; ++i) {
    ViewItem* item = OvelGetViewItem(view, i);
    if (!item) {
      OvelFreeView(view);
      Fail("out of memory");
      return nullptr;
    }
    entries->push_back(
        {i, item->group != 0, item->surnameOffset, item->name, item->address, item->comment});
    OvelFreeItem(item);
  }
  return view;
}

std::optional<std::vector<Entry>> BookAccess::Entries(bool groups) {
  std::vector<Entry> entries;
  ViewHandle view = Walk(groups, &entries);
  if (!view) return std::nullopt;
  OvelFreeView(view);
  return entries;
}

std::vector<Entry> BookAccess::Members(const std::string& group, bool recursive) {
  std::vector<Entry> members;
  MemberItem* list = OvelExpandGroup(client_, group.c_str(), recursive ? 1 : 0);
  int index = 0;
  for (MemberItem* item = list; item; item = item->next) {
    members.push_back(
        {index++, item->group != 0, item->surnameOffset, item->name, item->address, item->comment});
  }
  OvelFreeGroup(list);
  return members;
}

int BookAccess::Fail(const std::string& why) const {
  std::cerr << "addrbook: " << directory_ << ": " << why << "\n";
  return 1;
}

}  // namespace addrbook
