// Several programs change one book at once, each through a view it holds
// open for its whole run.  A caller of the shared library (the DLL on
// Windows), run by share_stress.sh:
//   share_stress work DIR ID ADDS   adds a group and ADDS entries of its
//                                   own, each made a member of the group,
//                                   deleting one of its own after every
//                                   second add; logs each change before it
//                                   and "ok" once acknowledged
//   share_stress work DIR ID ADDS [tolerant] [batch]
//                                   tolerant: a change that returns 0 is
//                                   logged ("no") and the run goes on;
//                                   batch: two adds and a delete in each
//                                   transaction, acknowledged together
//   share_stress unlock DIR STOP    removes the book's lock file every 5 ms
//                                   until the file STOP exists, as a user who
//                                   takes it for a stale lock would
//   share_stress check DIR LOG...   the book holds exactly the acknowledged
//                                   adds less the acknowledged deletes (a
//                                   change of a killed worker still in
//                                   flight may be either way, a change that
//                                   returned 0 must have changed nothing);
//                                   each worker's group holds exactly its
//                                   acknowledged members still in the book;
//                                   after one more clean save no leftover
//                                   file stays
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "ovel.h"

namespace {

std::vector<std::string> Names(ViewHandle view) {
  std::vector<std::string> names;
  int count = OvelGetViewCount(view);
  for (int i = 0; i < count; ++i) {
    ViewItem* item = OvelGetViewItem(view, i);
    if (!item) break;
    names.push_back(item->name);
    OvelFreeItem(item);
  }
  return names;
}

void Log(const char* what, const std::string& name) {
  std::printf("%s %s\n", what, name.c_str());
  std::fflush(stdout);
}

// The position of `name` in the view, or -1.
int Find(ViewHandle view, const std::string& name) {
  std::vector<std::string> names = Names(view);
  for (size_t at = 0; at < names.size(); ++at) {
    if (names[at] == name) return static_cast<int>(at);
  }
  return -1;
}

std::string GroupOf(const std::string& id) { return "Group W" + id; }

// Makes the entry `name` a member of the worker's group (within a
// transaction, acknowledged with it: `pending`); false when the call fails.
bool AddMember(ViewHandle view, const std::string& id, const std::string& name, bool pending) {
  int at = Find(view, name);
  if (at < 0) return false;
  Log("mem", name);
  bool added = OvelAddGroupMember(view, GroupOf(id).c_str(), at) == 1;
  if (!pending) Log(added ? "mok" : "mno", name);
  return added;
}

int WorkInBatches(Client* client, ViewHandle view, const std::string& id, int adds, bool tolerant,
                  bool grouped) {
  std::deque<std::string> mine;
  for (int i = 0; i + 1 < adds; i += 2) {
    if (OvelBeginChanges(client) != 1) return 8;
    std::vector<std::string> changed;
    for (int j = i; j < i + 2; ++j) {
      changed.push_back("W" + id + " N" + std::to_string(j));
      Log("add", changed.back());
      if (OvelAddItem(client, changed.back().c_str(), "stress@example.org", id.c_str()) != 1) {
        return 4;
      }
    }
    if (grouped && !AddMember(view, id, changed.front(), true)) return 10;
    if (!mine.empty()) {
      int at = Find(view, mine.front());
      if (at < 0) return 5;  // an acknowledged add is missing
      Log("del", mine.front());
      if (OvelDeleteViewItem(view, at) != 1) return 6;
      changed.push_back(mine.front());
    }
    bool kept = OvelEndChanges(client, 1) == 1;
    for (const std::string& name : changed) Log(kept ? "ok" : "no", name);
    if (grouped) Log(kept ? "mok" : "mno", changed.front());
    if (!kept && !tolerant) return 9;
    if (!kept) continue;
    if (changed.size() == 3) mine.pop_front();
    mine.insert(mine.end(), changed.begin(), changed.begin() + 2);
  }
  return 0;
}

int Work(const char* dir, const std::string& id, int adds, bool tolerant, bool batch) {
  Client* client = nullptr;
  if (!OvelInitialize(&client, dir)) return 2;
  ViewHandle view = OvelInitView(client, 1);
  if (!view) return 3;
  Log("add", GroupOf(id));
  bool grouped = OvelAddGroup(client, GroupOf(id).c_str(), nullptr) == 1;
  Log(grouped ? "ok" : "no", GroupOf(id));
  if (!grouped && !tolerant) return 10;
  if (batch) {
    int status = WorkInBatches(client, view, id, adds, tolerant, grouped);
    OvelFreeView(view);
    return OvelTerminate(client) == 1 ? status : 7;
  }
  std::deque<std::string> mine;
  for (int i = 0; i < adds; ++i) {
    std::string name = "W" + id + " N" + std::to_string(i);
    Log("add", name);
    if (OvelAddItem(client, name.c_str(), "stress@example.org", id.c_str()) != 1) {
      if (!tolerant) return 4;
      Log("no", name);
      continue;
    }
    Log("ok", name);
    mine.push_back(name);
    if (grouped && !AddMember(view, id, name, false) && !tolerant) return 10;
    if (i % 2 == 0 || mine.empty()) continue;
    std::string victim = mine.front();
    mine.pop_front();
    int at = Find(view, victim);
    if (at < 0) return 5;  // an acknowledged add is missing
    Log("del", victim);
    if (OvelDeleteViewItem(view, at) != 1) {
      if (!tolerant) return 6;
      Log("no", victim);
      mine.push_front(victim);
      continue;
    }
    Log("ok", victim);
  }
  OvelFreeView(view);
  return OvelTerminate(client) == 1 ? 0 : 7;
}

// Each worker's group holds its acknowledged members still in the book and
// no others (a member change in flight may be either way).
int CheckGroups(Client* client, const std::map<std::string, char>& expected,
                const std::map<std::string, char>& member) {
  int wrong = 0;
  std::map<std::string, std::set<std::string>> groups;  // by worker id: the members listed
  for (const auto& [name, state] : expected) {
    if (name.rfind("Group W", 0) != 0 || state == 'o') continue;
    std::set<std::string>& listed = groups[name.substr(7)];
    MemberItem* list = OvelExpandGroup(client, name.c_str(), 0);
    for (MemberItem* m = list; m; m = m->next) listed.insert(m->name);
    OvelFreeGroup(list);
  }
  for (const auto& [name, state] : member) {
    std::string id = name.substr(1, name.find(' ') - 1);
    bool listed = groups[id].count(name) != 0;
    bool shouldBe = state == 'm' && expected.at(name) == 'i';
    if (state != '?' && listed != shouldBe && expected.at(name) != '?') {
      std::fprintf(stderr, "check: %s is %s its group\n", name.c_str(), listed ? "in" : "not in");
      ++wrong;
    }
  }
  for (const auto& [id, listed] : groups) {
    for (const std::string& name : listed) {
      if (!member.count(name)) {
        std::fprintf(stderr, "check: %s was never made a member\n", name.c_str());
        ++wrong;
      }
    }
  }
  return wrong;
}

int Check(const char* dir, int logs, char** paths) {
  // Per name: "in" or "out" when acknowledged, "?" while in flight.
  std::map<std::string, char> expected;
  std::map<std::string, std::string> asked;  // the change in flight, per name
  // Per name: 'm' an acknowledged member of its worker's group, '?' while
  // in flight, 'x' refused.
  std::map<std::string, char> member;
  for (int i = 0; i < logs; ++i) {
    std::ifstream in(paths[i]);
    std::string verb, name;
    while (in >> verb && std::getline(in, name)) {
      name.erase(0, 1);
      if (verb == "add" || verb == "del") {
        expected[name] = '?';
        asked[name] = verb;
      } else if (verb == "ok" || verb == "no") {
        // Acknowledged: as asked.  Refused: as before it was asked.
        expected[name] = (verb == "ok") == (asked[name] == "add") ? 'i' : 'o';
      } else if (verb == "mem" || verb == "mok" || verb == "mno") {
        member[name] = verb == "mem" ? '?' : verb == "mok" ? 'm' : 'x';
      }
    }
  }
  Client* client = nullptr;
  if (!OvelInitialize(&client, dir)) return 2;
  ViewHandle view = OvelInitView(client, 1);
  if (!view) {
    std::fprintf(stderr, "check: the book does not load\n");
    return 3;
  }
  std::vector<std::string> names = Names(view);
  std::set<std::string> present(names.begin(), names.end());
  int wrong = 0;
  if (present.size() != names.size()) {
    std::fprintf(stderr, "check: an entry is in the book twice\n");
    ++wrong;
  }
  long in = 0, out = 0, open = 0;
  for (const auto& [name, state] : expected) {
    bool there = present.count(name) != 0;
    if (state == '?') ++open;
    if (state == 'i') ++in;
    if (state == 'o') ++out;
    if ((state == 'i' && !there) || (state == 'o' && there)) {
      std::fprintf(stderr, "check: %s is %s\n", name.c_str(), there ? "back" : "lost");
      ++wrong;
    }
  }
  for (const std::string& name : names) {
    if (!expected.count(name)) {
      std::fprintf(stderr, "check: %s was never added\n", name.c_str());
      ++wrong;
    }
  }
  wrong += CheckGroups(client, expected, member);
  // One clean save, which removes what killed saves left behind.
  if (OvelAddItem(client, "Final Zz", "final@example.org", nullptr) != 1 ||
      OvelDeleteViewItem(view, OvelGetViewCount(view) - 1) != 1) {
    std::fprintf(stderr, "check: the clean save failed\n");
    ++wrong;
  }
  OvelFreeView(view);
  OvelTerminate(client);
  for (const auto& file : std::filesystem::directory_iterator(dir)) {
    std::string name = file.path().filename().string();
    if (name != "ADDRBOOK.DAT" && name != "ADDRBOOK.LCK") {
      std::fprintf(stderr, "check: %s left in the book's directory\n", name.c_str());
      ++wrong;
    }
  }
  std::printf("%zu entries: %ld acknowledged in, %ld acknowledged out, %ld in flight; %d wrong\n",
              names.size(), in, out, open, wrong);
  return wrong ? 1 : 0;
}

// Removes the lock file again and again, through the system's own call
// (which Windows refuses while a program has the file open).
int Unlock(const char* dir, const char* stop) {
  std::filesystem::path lock = std::filesystem::path(dir) / "ADDRBOOK.LCK";
  long removed = 0;
  std::error_code error;
  while (!std::filesystem::exists(stop, error)) {
    if (std::filesystem::remove(lock, error)) ++removed;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::printf("the lock file was removed %ld times\n", removed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "work" && argc >= 5) {
    bool tolerant = false, batch = false;
    for (int i = 5; i < argc; ++i) {
      tolerant = tolerant || std::string(argv[i]) == "tolerant";
      batch = batch || std::string(argv[i]) == "batch";
    }
    return Work(argv[2], argv[3], std::atoi(argv[4]), tolerant, batch);
  }
  if (mode == "unlock" && argc == 4) return Unlock(argv[2], argv[3]);
  if (mode == "check" && argc >= 3) return Check(argv[2], argc - 3, argv + 3);
  std::fprintf(
      stderr,
      "usage: share_stress work DIR ID ADDS [tolerant] [batch] | unlock DIR STOP | check DIR "
      "LOG...\n");
  return 2;
}
