// The input decodes into calls on two directories with two Clients each:
// adds of entries and groups with names of every length class, members
// added and taken out, views with and without groups, copies, deletes,
// expansions, frees, stale and foreign handles, terminations with views
// open, double terminations, transactions kept, discarded and left open.
// After every step the library must agree with a model of each book (a
// sorted vector): counts, items, order, members, and the bytes of the file.
#include <string>

#include "call_sequence_model.h"
#include "fuzz_support.h"

using namespace ovel_fuzz;

namespace {

struct ClientSlot {
  Client* client = nullptr;
  int book = 0;
};

struct ViewSlot {
  ViewHandle handle = nullptr;
  int client = -1;  // -1: freed (the handle is stale)
  bool groups = false;
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

void CheckView(const Book& book, const ViewSlot& view) {
  std::vector<Copied> expected;
  for (const ModelEntry& e : book.entries) {
    if (view.groups || !e.group) expected.push_back(CopyOf(e, "<Group>"));
  }
  if (CopyAll(view.handle) != expected) Fail("view differs from the model");
}

// A group's name: one of the book's groups (its display name, as the
// input's case chooses), or text of the input.
std::string GroupName(Input* in, const Book& book) {
  uint8_t pick = in->Byte();
  std::vector<std::string> names;
  for (const ModelEntry& e : book.entries) {
    if (e.group) names.push_back(Display(e.name));
  }
  if (names.empty() || pick % 4 == 0) return Text(in, in->Byte() % 8);
  std::string name = names[pick % names.size()];
  if (pick & 0x80) {
    for (char& ch : name) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
  }
  return name;
}

// An expansion compared with the model's: the same items, or null for a
// group without members, a failure for no group.
void CheckExpansion(const Book& book, Client* client, const std::string& name, bool recursive) {
  MemberItem* list = OvelExpandGroup(client, name.c_str(), recursive);
  std::vector<Copied> got;
  for (MemberItem* m = list; m; m = m->next) {
    got.push_back({m->group, m->surnameOffset, m->name, m->address, m->comment});
  }
  OvelFreeGroup(list);
  int g = client ? book.GroupNamed(name) : -1;
  if (g < 0) {
    if (list) Fail("expanded what is no group");
    return;
  }
  std::vector<Copied> expected;
  std::vector<const ModelEntry*> path;
  if (book.Expand(book.entries[g], recursive, &path, &expected, 4096) && got != expected) {
    Fail("expansion differs from the model");
  }
}

// The two books, the four Clients and the six views of one input, and a
// step for each kind of call; `c` is the Client of the step.
struct Session {
  Book books[2];
  ClientSlot clients[4] = {{nullptr, 0}, {nullptr, 0}, {nullptr, 1}, {nullptr, 1}};
  ViewSlot views[6];
  Input in;
  int c = 0;

  ClientSlot& slot() { return clients[c]; }
  Book& book() { return books[clients[c].book]; }
  ViewSlot& PickView() { return views[in.Byte() % 6]; }

  void Initialize() {  // a closed client, or a second time for a stale pointer
    if (slot().client) return;
    if (!OvelInitialize(&slot().client, book().dir.c_str()) || !slot().client) Fail("initialize");
  }

  void Add() {
    std::string name = Text(&in, LengthClass(&in, OVEL_MAX_NAME));
    std::string address = Text(&in, LengthClass(&in, OVEL_MAX_TEXT));
    uint8_t commentKind = in.Byte() % 3;
    std::string comment = commentKind == 2 ? Text(&in, LengthClass(&in, OVEL_MAX_TEXT)) : "";
    bool expected = slot().client && !name.empty() && !address.empty() &&
                    name.size() <= OVEL_MAX_NAME && address.size() <= OVEL_MAX_TEXT &&
                    comment.size() <= OVEL_MAX_TEXT && book().MayChange(c);
    int result = OvelAddItem(slot().client, name.c_str(), address.c_str(),
                             commentKind == 0 ? nullptr : comment.c_str());
    if (result != (expected ? 1 : 0)) Fail("add result");
    if (result) book().Insert({name, address, comment});
  }

  void OpenView() {
    ViewSlot& v = PickView();
    if (v.client >= 0 || !slot().client) return;
    v.groups = in.Byte() % 2;
    v.handle = OvelInitView(slot().client, v.groups);
    if (!v.handle) Fail("init view");
    v.client = c;
    v.seen = book().loads;
  }

  void FreeView() {  // a freed one is refused
    ViewSlot& v = PickView();
    if (!v.handle) return;
    if (OvelFreeView(v.handle) != (v.client >= 0 ? 1 : 0)) Fail("free view result");
    v.client = -1;
  }

  void CopyView() {  // copy out through a view and compare with the model
    ViewSlot& v = PickView();
    if (!v.handle) return;
    if (v.client < 0) {
      if (OvelGetViewCount(v.handle) != -1 || OvelGetViewItem(v.handle, 0)) Fail("stale view");
      return;
    }
    CheckView(books[clients[v.client].book], v);
    v.seen = books[clients[v.client].book].loads;
  }

  void DeleteItem() {  // through a view
    ViewSlot& v = PickView();
    if (!v.handle) return;
    int index = static_cast<int>(in.Byte()) - 8;
    int result = OvelDeleteViewItem(v.handle, index);
    if (v.client < 0) {
      if (result != 0) Fail("delete through a stale view");
      return;
    }
    Book& viewed = books[clients[v.client].book];
    if (result != (viewed.MayChange(v.client) && viewed.Delete(v.seen, v.groups, index) ? 1 : 0))
      Fail("delete result");
  }

  void Expand() {  // a group, flat or nested
    std::string name = GroupName(&in, book());
    CheckExpansion(book(), slot().client, name, in.Byte() % 2);
  }

  void Terminate() {  // with views open; twice is refused
    int result = OvelTerminate(slot().client);
    if (result != (slot().client ? 1 : 0)) Fail("terminate result");
    if (book().owner == c) book().Discard();  // a transaction left open
    if (slot().client && OvelTerminate(slot().client) != 0) Fail("second terminate");
    for (ViewSlot& v : views) {
      if (v.client == c) {
        v.client = -1;
        if (OvelGetViewCount(v.handle) != -1) Fail("view outlived its client");
      }
    }
    slot().client = nullptr;
  }

  void ForeignHandles() {
    int local = 0;
    if (OvelGetViewCount(reinterpret_cast<ViewHandle>(&local)) != -1) Fail("foreign handle");
    if (OvelFreeView(reinterpret_cast<ViewHandle>(&local)) != 0) Fail("foreign free");
    if (OvelAddItem(reinterpret_cast<Client*>(&local), "A", "b", nullptr) != 0)
      Fail("foreign client");
  }

  void Begin() {  // a transaction; one at a time on a book
    int result = OvelBeginChanges(slot().client);
    if (result != (slot().client && book().owner < 0 ? 1 : 0)) Fail("begin result");
    if (result) {
      book().owner = c;
      book().saved = book().entries;
    }
  }

  void End() {  // keeping or discarding the changes
    int keep = in.Byte() % 2;
    int result = OvelEndChanges(slot().client, keep);
    if (result != (slot().client && book().owner == c ? 1 : 0)) Fail("end result");
    if (result && keep) book().Kept();
    if (result && !keep) book().Discard();
  }

  void AddGroup() {  // no two share a name in any case
    std::string name = Text(&in, LengthClass(&in, OVEL_MAX_NAME));
    std::string comment = Text(&in, in.Byte() % 4);
    bool expected = slot().client && !name.empty() && name.size() <= OVEL_MAX_NAME &&
                    book().MayChange(c) && book().GroupNamed(Display(name)) < 0;
    int result = OvelAddGroup(slot().client, name.c_str(), comment.c_str());
    if (result != (expected ? 1 : 0)) Fail("add group result");
    if (result) book().Insert({name, "", comment, true});
  }

  void ChangeMember() {  // a member added or taken out through a view
    ViewSlot& v = PickView();
    if (!v.handle) return;
    bool add = in.Byte() % 2;
    int index = static_cast<int>(in.Byte() % 12) - 1;
    Book& viewed = books[v.client >= 0 ? clients[v.client].book : 0];
    std::string name = GroupName(&in, viewed);
    int result = add ? OvelAddGroupMember(v.handle, name.c_str(), index)
                     : OvelRemoveGroupMember(v.handle, name.c_str(), index);
    bool expected = v.client >= 0 && viewed.MayChange(v.client) &&
                    viewed.ChangeMember(v.seen, v.groups, name, index, add);
    if (result != (expected ? 1 : 0)) Fail("member change result");
  }

  void CheckFile() {  // the file holds exactly the model
    if (ReadFile(book().dir + "/ADDRBOOK.DAT") != book().FileBytes() && !book().InFile().empty())
      Fail("file differs from the model");
  }

  void Close() {
    for (ViewSlot& v : views) {
      if (v.client >= 0) OvelFreeView(v.handle);
    }
    for (ClientSlot& s : clients) {
      if (s.client) OvelTerminate(s.client);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string root = ScratchDirectory("calls");
  using Step = void (Session::*)();
  static const Step kSteps[15] = {
      &Session::Initialize,     &Session::Add,          &Session::OpenView, &Session::FreeView,
      &Session::CopyView,       &Session::DeleteItem,   &Session::Expand,   &Session::Terminate,
      &Session::ForeignHandles, &Session::Begin,        &Session::End,      &Session::AddGroup,
      &Session::ChangeMember,   &Session::ChangeMember, &Session::CheckFile};
  Session session{.in = {data, data + size}};
  for (int b = 0; b < 2; ++b) {
    session.books[b].dir = root + (b ? "/two" : "/one");
    MakeDirectory(session.books[b].dir);
    RemoveFile(session.books[b].dir + "/ADDRBOOK.DAT");
  }
  for (int steps = 0; !session.in.Done() && steps < 200; ++steps) {
    session.c = session.in.Byte() % 4;
    (session.*kSteps[session.in.Byte() % 15])();
  }
  session.Close();
  return 0;
}
