// The input decodes into calls on two directories with two Clients each:
// adds with names of every length class, views with and without groups,
// copies, deletes, expansions, frees, stale and foreign handles,
// terminations with views open, double terminations, transactions kept,
// discarded and left open.  After every step the library must agree with a
// model of each book (a sorted vector): counts, items, order, and the bytes
// of the file.
#include <algorithm>
#include <string>

#include "frame/platform.h"
#include "fuzz_support.h"

using namespace ovel_fuzz;

namespace {

struct ModelEntry {
  std::string name, address, comment;
};

// The library's name rules: "%" joins surname words; the surname begins
// after the last space followed by something other than spaces and "%".
int SurnameOffset(const std::string& name) {
  if (name.empty()) return 0;
  size_t i = name.size() - 1;
  while (i > 0 && (name[i] == ' ' || name[i] == '%')) --i;
  for (; i > 0; --i) {
    if (name[i] == ' ') return static_cast<int>(i + 1);
  }
  return 0;
}

std::string Display(std::string name) {
  std::replace(name.begin(), name.end(), '%', ' ');
  return name;
}

// The order of keys is the library's (lstrcmpiA's on code page 1252,
// which sort_order_test checks); the model places entries by it.
int CompareNoCase(const std::string& a, const std::string& b) {
  return ovel::PlatformCompareNoCase(a.c_str(), b.c_str());
}

std::string Key(const std::string& name) { return Display(name).substr(SurnameOffset(name)); }

struct Book {
  std::string dir;
  std::vector<ModelEntry> entries;
  int owner = -1;                 // the client whose transaction is open
  std::vector<ModelEntry> saved;  // meanwhile: what the file holds
  bool dirty = false;             // the open transaction changed the list
  // A discard of a changed list reads the file again: the list it replaces
  // stays as the previous one, which views that read it still delete from.
  uint32_t loads = 0;
  std::vector<ModelEntry> previous;
  uint32_t previousLoads = 0;
  bool hasPrevious = false;

  // What the file holds: the entries, or during a transaction those before it.
  const std::vector<ModelEntry>& InFile() const { return owner < 0 ? entries : saved; }
  // Whether client `c` may change the book now.
  bool MayChange(int c) const { return owner < 0 || owner == c; }
  void Discard() {
    if (dirty) {
      previous = entries;
      previousLoads = loads++;
      hasPrevious = true;
    }
    entries = saved;
    owner = -1;
    dirty = false;
  }
  // What a delete of `index` through a view that last read the list
  // `seen` does: the entry it named is looked for again by its content in
  // a list read since; a view older than the previous list deletes nothing
  // and fails.
  bool Delete(uint32_t seen, int index) {
    if (seen == loads) {
      if (index >= 0 && index < static_cast<int>(entries.size())) {
        entries.erase(entries.begin() + index);
        dirty = owner >= 0;
      }
      return true;
    }
    if (!hasPrevious || seen != previousLoads) return false;
    if (index < 0 || index >= static_cast<int>(previous.size())) return true;
    const ModelEntry& e = previous[index];
    for (auto at = entries.begin(); at != entries.end(); ++at) {
      if (at->name == e.name && at->address == e.address && at->comment == e.comment) {
        entries.erase(at);
        dirty = owner >= 0;
        break;
      }
    }
    previous.erase(previous.begin() + index);
    return true;
  }

  void Insert(const ModelEntry& entry) {
    auto at = entries.begin();
    while (at != entries.end() && CompareNoCase(Key(at->name), Key(entry.name)) < 0) ++at;
    entries.insert(at, entry);
  }
  std::vector<uint8_t> FileBytes() const {
    const std::vector<ModelEntry>& entries = InFile();
    std::vector<uint8_t> out = {2, static_cast<uint8_t>(entries.size() & 0xFF),
                                static_cast<uint8_t>(entries.size() >> 8)};
    auto put = [&](const std::string& text) {
      out.push_back(static_cast<uint8_t>(text.size()));
      out.insert(out.end(), text.begin(), text.end());
    };
    for (size_t i = 0; i < entries.size(); ++i) {
      out.push_back(static_cast<uint8_t>((i + 1) & 0xFF));
      out.push_back(static_cast<uint8_t>((i + 1) >> 8));
      put(entries[i].name);
      put(entries[i].address);
      put(entries[i].comment);
    }
    return out;
  }
};

struct ClientSlot {
  Client* client = nullptr;
  int book = 0;
};

struct ViewSlot {
  ViewHandle handle = nullptr;
  int client = -1;    // -1: freed (the handle is stale)
  uint32_t seen = 0;  // Book::loads when it last read the list
};

// Reads the input a byte at a time; zeros when it runs out.
struct Input {
  const uint8_t* at;
  const uint8_t* end;
  uint8_t Byte() { return at < end ? *at++ : 0; }
  bool Done() const { return at >= end; }
};

std::string Text(Input* in, size_t length) {
  static const char kChars[] = "abcXYZ %%-";
  std::string text;
  for (size_t i = 0; i < length; ++i) text += kChars[in->Byte() % (sizeof kChars - 1)];
  return text;
}

// Lengths around every limit: empty, short, at the limit, past it.
size_t LengthClass(Input* in, size_t limit) {
  switch (in->Byte() % 5) {
    case 0:
      return 0;
    case 1:
      return 1 + in->Byte() % 6;
    case 2:
      return limit;
    case 3:
      return limit + 1;
    default:
      return 1 + in->Byte() % limit;
  }
}

void CheckView(const Book& book, ViewHandle view) {
  std::vector<Copied> items = CopyAll(view);
  if (items.size() != book.entries.size()) Fail("view count differs from the model");
  for (size_t i = 0; i < items.size(); ++i) {
    const ModelEntry& e = book.entries[i];
    Copied expected{0, SurnameOffset(e.name), Display(e.name), e.address, e.comment};
    if (!(items[i] == expected)) Fail("view item differs from the model");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string root = ScratchDirectory("calls");
  Book books[2];
  for (int b = 0; b < 2; ++b) {
    books[b].dir = root + (b ? "/two" : "/one");
    MakeDirectory(books[b].dir);
    RemoveFile(books[b].dir + "/ADDRBOOK.DAT");
  }
  ClientSlot clients[4] = {{nullptr, 0}, {nullptr, 0}, {nullptr, 1}, {nullptr, 1}};
  ViewSlot views[6];
  Input in{data, data + size};
  int steps = 0;
  while (!in.Done() && steps++ < 200) {
    int c = in.Byte() % 4;
    ClientSlot& slot = clients[c];
    Book& book = books[slot.book];
    switch (in.Byte() % 12) {
      case 0: {  // initialize a closed client, or a second time for a stale pointer
        if (slot.client) break;
        if (!OvelInitialize(&slot.client, book.dir.c_str()) || !slot.client) Fail("initialize");
        break;
      }
      case 1: {  // add
        std::string name = Text(&in, LengthClass(&in, OVEL_MAX_NAME));
        std::string address = Text(&in, LengthClass(&in, OVEL_MAX_TEXT));
        uint8_t commentKind = in.Byte() % 3;
        std::string comment = commentKind == 2 ? Text(&in, LengthClass(&in, OVEL_MAX_TEXT)) : "";
        bool expected = slot.client && !name.empty() && !address.empty() &&
                        name.size() <= OVEL_MAX_NAME && address.size() <= OVEL_MAX_TEXT &&
                        comment.size() <= OVEL_MAX_TEXT && book.MayChange(c);
        int result = OvelAddItem(slot.client, name.c_str(), address.c_str(),
                                 commentKind == 0 ? nullptr : comment.c_str());
        if (result != (expected ? 1 : 0)) Fail("add result");
        if (result) {
          book.Insert({name, address, comment});
          if (book.owner >= 0) book.dirty = true;
        }
        break;
      }
      case 2: {  // open a view
        ViewSlot& v = views[in.Byte() % 6];
        if (v.client >= 0 || !slot.client) break;
        v.handle = OvelInitView(slot.client, in.Byte() % 2);
        if (!v.handle) Fail("init view");
        v.client = c;
        v.seen = book.loads;
        break;
      }
      case 3: {  // free a view; a freed one is refused
        ViewSlot& v = views[in.Byte() % 6];
        if (!v.handle) break;
        if (OvelFreeView(v.handle) != (v.client >= 0 ? 1 : 0)) Fail("free view result");
        v.client = -1;
        break;
      }
      case 4: {  // copy out through a view and compare with the model
        ViewSlot& v = views[in.Byte() % 6];
        if (!v.handle) break;
        if (v.client < 0) {
          if (OvelGetViewCount(v.handle) != -1 || OvelGetViewItem(v.handle, 0)) Fail("stale view");
          break;
        }
        CheckView(books[clients[v.client].book], v.handle);
        v.seen = books[clients[v.client].book].loads;
        break;
      }
      case 5: {  // delete through a view
        ViewSlot& v = views[in.Byte() % 6];
        if (!v.handle) break;
        int index = static_cast<int>(in.Byte()) - 8;
        int result = OvelDeleteViewItem(v.handle, index);
        if (v.client < 0) {
          if (result != 0) Fail("delete through a stale view");
          break;
        }
        Book& viewed = books[clients[v.client].book];
        if (result != (viewed.MayChange(v.client) && viewed.Delete(v.seen, index) ? 1 : 0)) {
          Fail("delete result");
        }
        break;
      }
      case 6: {  // expand: the library never creates groups
        std::string name = Text(&in, in.Byte() % 8);
        if (OvelExpandGroup(slot.client, name.c_str(), in.Byte() % 2)) Fail("expanded a non-group");
        break;
      }
      case 7: {  // terminate with views open; twice is refused
        int result = OvelTerminate(slot.client);
        if (result != (slot.client ? 1 : 0)) Fail("terminate result");
        if (book.owner == c) book.Discard();  // a transaction left open
        if (slot.client && OvelTerminate(slot.client) != 0) Fail("second terminate");
        for (ViewSlot& v : views) {
          if (v.client == c) {
            v.client = -1;
            if (OvelGetViewCount(v.handle) != -1) Fail("view outlived its client");
          }
        }
        slot.client = nullptr;
        break;
      }
      case 8: {  // foreign handles
        int local = 0;
        if (OvelGetViewCount(reinterpret_cast<ViewHandle>(&local)) != -1) Fail("foreign handle");
        if (OvelFreeView(reinterpret_cast<ViewHandle>(&local)) != 0) Fail("foreign free");
        if (OvelAddItem(reinterpret_cast<Client*>(&local), "A", "b", nullptr) != 0) {
          Fail("foreign client");
        }
        break;
      }
      case 9: {  // begin a transaction; one at a time on a book
        int result = OvelBeginChanges(slot.client);
        if (result != (slot.client && book.owner < 0 ? 1 : 0)) Fail("begin result");
        if (result) {
          book.owner = c;
          book.saved = book.entries;
        }
        break;
      }
      case 10: {  // end it, keeping or discarding the changes
        int keep = in.Byte() % 2;
        int result = OvelEndChanges(slot.client, keep);
        if (result != (slot.client && book.owner == c ? 1 : 0)) Fail("end result");
        if (result && keep) {
          book.owner = -1;
          book.dirty = false;
        }
        if (result && !keep) book.Discard();
        break;
      }
      default: {  // the file holds exactly the model
        if (ReadFile(book.dir + "/ADDRBOOK.DAT") != book.FileBytes() && !book.InFile().empty()) {
          Fail("file differs from the model");
        }
        break;
      }
    }
  }
  for (ViewSlot& v : views) {
    if (v.client >= 0) OvelFreeView(v.handle);
  }
  for (ClientSlot& slot : clients) {
    if (slot.client) OvelTerminate(slot.client);
  }
  return 0;
}
