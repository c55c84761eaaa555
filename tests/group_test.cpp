// Group expansion: flat and recursive, repeats kept, cycles ended.
#include <string>

#include "test_support.h"

using namespace ovel_test;

namespace {

class GroupTest : public BookTest {
 protected:
  std::vector<std::string> Expand(const char* name, int recursive) {
    return Names(TakeMembers(OvelExpandGroup(client_, name, recursive)));
  }
};

using Names_ = std::vector<std::string>;

}  // namespace

TEST_F(GroupTest, GroupNameMatchesWithoutRegardToCase) {
  Write(BookBytes(3)
            .Plain(1, "Ann Lee", "ann", "hi")
            .Plain(2, "Bob Ray", "bob")
            .Group(3, "Friends", {1, 2}));
  EXPECT_EQ(TakeMembers(OvelExpandGroup(client_, "friends", 0)),
            (std::vector<Item>{{0, 4, "Ann Lee", "ann", "hi"}, {0, 4, "Bob Ray", "bob", ""}}));
  EXPECT_EQ(Expand("FRIENDS", 1), (Names_{"Ann Lee", "Bob Ray"}));
}

TEST_F(GroupTest, NestedGroupsFlatAndRecursive) {
  Write(BookBytes(5)
            .Plain(1, "Ann", "ann")
            .Plain(2, "Carl", "carl")
            .Plain(3, "Dora", "dora")
            .Group(4, "Family", {2, 3}, "kin")
            .Group(5, "Party", {1, 4}));
  EXPECT_EQ(TakeMembers(OvelExpandGroup(client_, "Party", 0)),
            (std::vector<Item>{{0, 0, "Ann", "ann", ""}, {1, 0, "Family", "", "kin"}}));
  EXPECT_EQ(Expand("Party", 1), (Names_{"Ann", "Carl", "Dora"}));
}

TEST_F(GroupTest, WhatIsNotAGroupWithMembersGivesNull) {
  Write(BookBytes(5)
            .Plain(1, "Pals", "not a group")
            .Group(2, "Empty", {})
            .Group(3, "Ghosts", {77, 78})
            .Plain(4, "Ann", "ann")
            .Group(5, "Some", {77, 4, 78}));
  EXPECT_EQ(OvelExpandGroup(client_, "Pals", 1), nullptr);
  EXPECT_EQ(OvelExpandGroup(client_, "Empty", 1), nullptr);
  EXPECT_EQ(OvelExpandGroup(client_, "Ghosts", 1), nullptr);
  EXPECT_EQ(OvelExpandGroup(client_, "Nobody", 1), nullptr);
  EXPECT_EQ(OvelExpandGroup(client_, nullptr, 1), nullptr);
  EXPECT_EQ(OvelExpandGroup(nullptr, "Some", 1), nullptr);
  EXPECT_EQ(Expand("Some", 0), Names_{"Ann"});  // missing ids skipped
}

TEST_F(GroupTest, GroupAndPlainEntryOfOneNameExpandTheGroup) {
  Write(BookBytes(3).Plain(1, "Team", "plain").Group(2, "Team", {3}).Plain(3, "Ann", "ann"));
  EXPECT_EQ(Expand("team", 0), Names_{"Ann"});
}

// Where a file gives two entries one id, the first in list order bears it:
// a group naming the id expands to that entry, before a save and after it.
TEST_F(GroupTest, ARepeatedIdNamesTheFirstEntryThatBearsIt) {
  Write(BookBytes(3).Plain(2, "Ann Aa", "a").Plain(2, "Bob Bb", "b").Group(1, "Pals", {2}));
  EXPECT_EQ(Expand("Pals", 0), Names_{"Ann Aa"});
  ASSERT_EQ(OvelAddItem(client_, "Cy Cc", "c", nullptr), 1);
  EXPECT_EQ(Expand("Pals", 0), Names_{"Ann Aa"});
}

TEST_F(GroupTest, RepeatsAreKeptAndCyclesEnd) {
  // A diamond: Top holds Left and Right, both holding Ann.  Loop holds
  // itself; Ping and Pong hold each other.
  Write(BookBytes(8)
            .Plain(1, "Ann", "ann")
            .Group(2, "Left", {1})
            .Group(3, "Right", {1})
            .Group(4, "Top", {2, 3, 1})
            .Group(5, "Loop", {1, 5, 1})
            .Group(6, "Ping", {7, 1})
            .Group(7, "Pong", {6, 8})
            .Plain(8, "Bob", "bob"));
  EXPECT_EQ(Expand("Top", 1), (Names_{"Ann", "Ann", "Ann"}));
  EXPECT_EQ(Expand("Loop", 1), (Names_{"Ann", "Ann"}));
  EXPECT_EQ(Expand("Loop", 0), (Names_{"Ann", "Loop", "Ann"}));
  EXPECT_EQ(Expand("Ping", 1), (Names_{"Bob", "Ann"}));
  EXPECT_EQ(Expand("Pong", 1), (Names_{"Ann", "Bob"}));
}

TEST_F(GroupTest, DeepNestingDoesNotExhaustTheStack) {
  // Group 1 holds group 2, which holds group 3, ... down to one plain entry.
  const uint16_t groups = 4094;
  BookBytes book(groups + 1);
  for (uint16_t id = 1; id <= groups; ++id) {
    book.Group(id, Numbered("G", 10000 + id), {static_cast<uint16_t>(id + 1)});
  }
  book.Plain(groups + 1, "Zed", "zed");
  Write(book);
  EXPECT_EQ(Expand("G10001", 1), Names_{"Zed"});
  EXPECT_EQ(Expand("G10001", 0), Names_{"G10002"});
}

TEST_F(GroupTest, ExpansionFailsCleanlyAtEveryFault) {
  Write(BookBytes(5)
            .Plain(1, "Ann", "ann")
            .Plain(2, "Carl", "carl")
            .Plain(3, "Dora", "dora")
            .Group(4, "Family", {2, 3})
            .Group(5, "Party", {1, 4}));
  const Bytes original = File();
  for (int recursive : {0, 1}) {
    long swept = SweepFaults(
        [&] {
          long blocks = LiveBlocks();
          MemberItem* list = OvelExpandGroup(client_, "Party", recursive);
          if (!list) {
            EXPECT_EQ(LiveBlocks(), blocks);
          }
          bool ok = list != nullptr;
          OvelFreeGroup(list);
          return ok;
        },
        [&](bool succeeded, long point) {
          EXPECT_EQ(succeeded, point == 0) << "fault point " << point;
          EXPECT_EQ(File(), original);
        });
    EXPECT_GE(swept, 10);
  }
}

TEST_F(GroupTest, ExpansionsThatMultiplyBeyondAnyBookFail) {
  // Level k holds level k+1 twice and the last level holds the plain entry
  // twice, so level 1 expands to 2^levels items.
  auto chain = [](uint16_t levels) {
    BookBytes book(static_cast<uint16_t>(levels + 1));
    for (uint16_t id = 1; id <= levels; ++id) {
      uint16_t next = static_cast<uint16_t>(id + 1);
      book.Group(id, Numbered("L", 100 + id), {next, next});
    }
    book.Plain(static_cast<uint16_t>(levels + 1), "Zed", "zed");
    return book;
  };
  Write(chain(12));  // 4096 items: listed
  // (Movable global memory on Windows holds about 65536 blocks in all, so a
  // far longer list can fail there for want of blocks.)
  MemberItem* list = OvelExpandGroup(client_, "L101", 1);
  size_t count = 0;
  for (MemberItem* m = list; m; m = m->next) ++count;
  OvelFreeGroup(list);
  EXPECT_EQ(count, 4096u);
  Write(chain(16));  // 65536 items, one more than an expansion may list
  EXPECT_EQ(OvelExpandGroup(client_, "L101", 1), nullptr);
  Write(chain(40));  // 2^40 items: refused, not attempted to exhaustion
  EXPECT_EQ(OvelExpandGroup(client_, "L101", 1), nullptr);
  EXPECT_EQ(Expand("L101", 0), (Names_{"L102", "L102"}));
}
