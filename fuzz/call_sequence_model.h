// The call-sequence target's model of one book: its entries in order (a
// vector), groups with their members, transactions, and the list a discard
// replaced, which views that read it still name entries of.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/platform.h"
#include "fuzz_support.h"

namespace ovel_fuzz {

struct ModelEntry {
  std::string name, address, comment;
  bool group = false;
  uint32_t uid = 0;               // the model's own identity of the entry
  std::vector<uint32_t> members;  // uids, in the order they were added
};

// The library's name rules: "%" joins surname words; the surname begins
// after the last space followed by something other than spaces and "%".
inline int SurnameOffset(const std::string& name) {
  if (name.empty()) return 0;
  size_t i = name.size() - 1;
  while (i > 0 && (name[i] == ' ' || name[i] == '%')) --i;
  for (; i > 0; --i) {
    if (name[i] == ' ') return static_cast<int>(i + 1);
  }
  return 0;
}

inline std::string Display(std::string name) {
  std::replace(name.begin(), name.end(), '%', ' ');
  return name;
}

// The order of keys is the platform's (lstrcmpiA's on code page 1252,
// which sort_order_test checks); the model places entries by it.
inline int CompareNoCase(const std::string& a, const std::string& b) {
  return ovel::PlatformCompareNoCase(a.c_str(), b.c_str());
}

inline std::string Key(const std::string& name) {
  return Display(name).substr(SurnameOffset(name));
}

// An entry as a view or an expansion copies it out.
inline Copied CopyOf(const ModelEntry& e, const char* groupAddress) {
  return {e.group ? 1 : 0, SurnameOffset(e.name), Display(e.name),
          e.group ? groupAddress : e.address, e.comment};
}

// Where a change through a view finds the entry its index named.
enum class Target { kStale, kNone, kFound };

struct Book {
  std::string dir;
  std::vector<ModelEntry> entries;
  uint32_t nextUid = 1;
  int owner = -1;                 // the client whose transaction is open
  std::vector<ModelEntry> saved;  // meanwhile: what the file holds
  bool dirty = false;             // the open transaction changed the list
  // A discard of a changed list reads the file again: the list it replaces
  // stays as the previous one, which views that read it still name.
  uint32_t loads = 0;
  std::vector<ModelEntry> previous;
  uint32_t previousLoads = 0;
  bool hasPrevious = false;

  // What the file holds: the entries, or during a transaction those before it.
  const std::vector<ModelEntry>& InFile() const { return owner < 0 ? entries : saved; }
  // Whether client `c` may change the book now.
  bool MayChange(int c) const { return owner < 0 || owner == c; }

  const ModelEntry* Find(uint32_t uid) const {
    for (const ModelEntry& e : entries) {
      if (e.uid == uid) return &e;
    }
    return nullptr;
  }
  // A save drops the members that name no entry any more.
  void Prune() {
    for (ModelEntry& e : entries) {
      std::erase_if(e.members, [this](uint32_t uid) { return !Find(uid); });
    }
  }
  // After a change: saved at once, or kept for the transaction's end.
  void Changed() {
    if (owner >= 0) {
      dirty = true;
    } else {
      Prune();
    }
  }
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
  void Kept() {
    owner = -1;
    dirty = false;
    Prune();
  }

  // The first group whose display name is `name` in any case, or -1.
  int GroupNamed(const std::string& name) const {
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].group && CompareNoCase(Display(entries[i].name), name) == 0) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  static int NthShown(const std::vector<ModelEntry>& list, bool groups, int index) {
    if (index < 0) return -1;
    for (size_t i = 0; i < list.size(); ++i) {
      if ((groups || !list[i].group) && index-- == 0) return static_cast<int>(i);
    }
    return -1;
  }

  // The entry a view that last read the list `seen` named by `index`: in a
  // list read since, found again by its content (a plain entry by all of
  // it, a group by name and comment, ambiguous among groups with other
  // members).  `*seenAt` is its place in the previous list, or -1.
  Target FindTarget(uint32_t seen, bool groups, int index, int* at, int* seenAt) const {
    *seenAt = -1;
    if (seen == loads) {
      *at = NthShown(entries, groups, index);
      return *at < 0 ? Target::kNone : Target::kFound;
    }
    if (!hasPrevious || seen != previousLoads) return Target::kStale;
    *seenAt = NthShown(previous, groups, index);
    if (*seenAt < 0) return Target::kNone;
    const ModelEntry& e = previous[*seenAt];
    *at = -1;
    for (size_t i = 0; i < entries.size(); ++i) {
      const ModelEntry& c = entries[i];
      if (c.group != e.group || c.name != e.name || c.comment != e.comment ||
          (!c.group && c.address != e.address)) {
        continue;
      }
      if (*at < 0) {
        *at = static_cast<int>(i);
      } else if (c.group && c.members != entries[*at].members) {
        return Target::kStale;
      }
    }
    return *at < 0 ? Target::kNone : Target::kFound;
  }

  // What a delete through a view does; false when it fails.
  bool Delete(uint32_t seen, bool groups, int index) {
    int at, seenAt;
    Target target = FindTarget(seen, groups, index, &at, &seenAt);
    if (target == Target::kStale) return false;
    if (target == Target::kFound) {
      entries.erase(entries.begin() + at);
      Changed();
    }
    if (seenAt >= 0) previous.erase(previous.begin() + seenAt);
    return true;
  }

  // What a member added (`add`) or taken out through a view does; false
  // when it fails.
  bool ChangeMember(uint32_t seen, bool groups, const std::string& groupName, int index, bool add) {
    int g = GroupNamed(groupName);
    if (g < 0) return false;
    int at, seenAt;
    Target target = FindTarget(seen, groups, index, &at, &seenAt);
    if (target != Target::kFound) return target == Target::kNone && !add;
    if (add && at == g) return false;
    ModelEntry& group = entries[g];
    uint32_t uid = entries[at].uid;
    bool member = std::find(group.members.begin(), group.members.end(), uid) != group.members.end();
    if (member == add) return true;
    std::vector<uint32_t> kept;
    for (uint32_t m : group.members) {
      if (m != uid && Find(m)) kept.push_back(m);
    }
    if (add) {
      if (kept.size() >= OVEL_MAX_MEMBERS) return false;
      kept.push_back(uid);
    }
    group.members = kept;
    Changed();
    return true;
  }

  void Insert(ModelEntry entry) {
    entry.uid = nextUid++;
    auto at = entries.begin();
    while (at != entries.end() && CompareNoCase(Key(at->name), Key(entry.name)) < 0) ++at;
    entries.insert(at, entry);
    Changed();
  }

  // The members of a group as an expansion lists them; nested groups
  // expanded along each path once.  False when more than `limit`.
  bool Expand(const ModelEntry& group, bool recursive, std::vector<const ModelEntry*>* path,
              std::vector<Copied>* out, size_t limit) const {
    path->push_back(&group);
    bool within = true;
    for (uint32_t uid : group.members) {
      const ModelEntry* m = Find(uid);
      if (!m) continue;
      if (m->group && recursive) {
        if (std::find(path->begin(), path->end(), m) == path->end()) {
          within = Expand(*m, true, path, out, limit);
        }
      } else {
        out->push_back(CopyOf(*m, ""));
        within = out->size() <= limit;
      }
      if (!within) break;
    }
    path->pop_back();
    return within;
  }

  std::vector<uint8_t> FileBytes() const {
    const std::vector<ModelEntry>& list = InFile();
    std::vector<uint8_t> out = {2, static_cast<uint8_t>(list.size() & 0xFF),
                                static_cast<uint8_t>(list.size() >> 8)};
    auto word = [&](size_t w) {
      out.push_back(static_cast<uint8_t>(w & 0xFF));
      out.push_back(static_cast<uint8_t>(w >> 8));
    };
    auto put = [&](const std::string& text) {
      out.push_back(static_cast<uint8_t>(text.size()));
      out.insert(out.end(), text.begin(), text.end());
    };
    for (size_t i = 0; i < list.size(); ++i) {
      word((i + 1) | (list[i].group ? 0x8000 : 0));
      put(list[i].name);
      if (list[i].group) {
        std::vector<size_t> ids;
        for (uint32_t uid : list[i].members) {
          for (size_t j = 0; j < list.size(); ++j) {
            if (list[j].uid == uid) ids.push_back(j + 1);
          }
        }
        out.push_back(static_cast<uint8_t>(ids.size()));
        for (size_t id : ids) word(id);
      } else {
        put(list[i].address);
      }
      put(list[i].comment);
    }
    return out;
  }
};

}  // namespace ovel_fuzz
