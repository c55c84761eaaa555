// Views: counting, copying out and deleting by position over a live list
// shared by every Client of a directory; stale handles; the walk cursor.
#include <random>
#include <string>

#include "frame/allocator.h"
#include "frame/client.h"
#include "frame/local_lock.h"
#include "test_support.h"

using namespace ovel;
using namespace ovel_test;

namespace {

class ViewTest : public BookTest {
 protected:
  // A group named Club followed by plain entries Dora and Earl.
  void WriteClub() {
    Write(BookBytes(3)
              .Group(1, "Club", {2, 3}, "the club")
              .Plain(2, "Dora", "dora@x")
              .Plain(3, "Earl", "earl@x")
              .bytes());
  }
};

}  // namespace

TEST_F(ViewTest, ViewsWithAndWithoutGroups) {
  WriteClub();
  ViewHandle plain = OvelInitView(client_, 0);
  ViewHandle all = OvelInitView(client_, 7);  // any non-zero flag shows groups
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(OvelGetViewCount(plain), 2);
  EXPECT_EQ(OvelGetViewCount(all), 3);
  EXPECT_EQ(WalkView(plain),
            (std::vector<Item>{{0, 0, "Dora", "dora@x", ""}, {0, 0, "Earl", "earl@x", ""}}));
  EXPECT_EQ(WalkView(all)[0], (Item{1, 0, "Club", "<Group>", "the club"}));

  EXPECT_EQ(OvelGetViewItem(plain, 2), nullptr);  // index equal to the count
  EXPECT_EQ(OvelGetViewItem(plain, -1), nullptr);
  EXPECT_EQ(OvelDeleteViewItem(plain, 2), 1);  // names no entry: nothing to write
  EXPECT_EQ(OvelDeleteViewItem(plain, -1), 1);
  EXPECT_EQ(OvelGetViewCount(all), 3);

  EXPECT_EQ(OvelDeleteViewItem(plain, 1), 1);  // Earl
  EXPECT_EQ(ViewNames(all), (std::vector<std::string>{"Club", "Dora"}));
  EXPECT_EQ(File(),
            BookBytes(2).Group(1, "Club", {2}, "the club").Plain(2, "Dora", "dora@x").bytes());
  EXPECT_EQ(OvelFreeView(plain), 1);
  EXPECT_EQ(OvelFreeView(all), 1);
  EXPECT_EQ(LoadCount(), 0);
}

TEST_F(ViewTest, DeletingAGroupKeepsItsMembers) {
  WriteClub();
  ViewHandle all = OvelInitView(client_, 1);
  EXPECT_EQ(OvelDeleteViewItem(all, 0), 1);
  EXPECT_EQ(ViewNames(all), (std::vector<std::string>{"Dora", "Earl"}));
  OvelFreeView(all);
}

TEST_F(ViewTest, DeletingTheLastEntryLeavesTheSmallestFile) {
  ASSERT_EQ(OvelAddItem(client_, "Ann Lee", "ann", nullptr), 1);
  ViewHandle view = OvelInitView(client_, 0);
  EXPECT_EQ(OvelDeleteViewItem(view, 0), 1);
  EXPECT_EQ(File(), (Bytes{0x02, 0x00, 0x00}));
  OvelFreeView(view);
}

TEST_F(ViewTest, ChangesShowInEveryViewOfTheBookOnEveryClient) {
  WriteClub();
  Client* other = nullptr;
  ASSERT_EQ(OvelInitialize(&other, dir_.path().c_str()), 1);
  ViewHandle mine = OvelInitView(client_, 1);
  ViewHandle theirs = OvelInitView(other, 0);
  ViewItem* earl = OvelGetViewItem(theirs, 1);
  ASSERT_NE(earl, nullptr);
  EXPECT_STREQ(earl->name, "Earl");
  OvelFreeItem(earl);

  EXPECT_EQ(OvelDeleteViewItem(mine, 1), 1);  // Dora, through the other Client's book
  EXPECT_EQ(OvelGetViewCount(theirs), 1);
  EXPECT_EQ(ViewNames(theirs), std::vector<std::string>{"Earl"});
  ASSERT_EQ(OvelAddItem(other, "Al Adams", "al", nullptr), 1);
  EXPECT_EQ(ViewNames(mine), (std::vector<std::string>{"Al Adams", "Club", "Earl"}));

  // Closing a Client closes its views; the other Client's stay.
  EXPECT_EQ(OvelTerminate(other), 1);
  EXPECT_EQ(OvelGetViewCount(theirs), -1);
  EXPECT_EQ(OvelGetViewCount(mine), 3);
  EXPECT_EQ(LoadCount(), 1);
  OvelFreeView(mine);
  EXPECT_EQ(LoadCount(), 0);
}

TEST_F(ViewTest, FreedHandlesAreRefusedByEveryCall) {
  WriteClub();
  ViewHandle view = OvelInitView(client_, 1);
  ViewHandle keeper = OvelInitView(client_, 1);
  EXPECT_EQ(LoadCount(), 2);
  EXPECT_EQ(OvelFreeView(view), 1);
  EXPECT_EQ(OvelGetViewCount(view), -1);
  EXPECT_EQ(OvelGetViewItem(view, 0), nullptr);
  EXPECT_EQ(OvelDeleteViewItem(view, 0), 0);
  EXPECT_EQ(OvelFreeView(view), 0);  // drops no second reference
  EXPECT_EQ(LoadCount(), 1);
  EXPECT_EQ(OvelGetViewCount(keeper), 3);
  EXPECT_EQ(OvelGetViewCount(nullptr), -1);
  int notAView = 0;
  EXPECT_EQ(OvelGetViewCount(reinterpret_cast<ViewHandle>(&notAView)), -1);
  EXPECT_EQ(OvelInitView(nullptr, 1), nullptr);
  OvelFreeView(keeper);
}

TEST_F(ViewTest, ItemsOutliveTheViewAndAreFreedOnlyWhileCountedIn) {
  WriteClub();
  ViewHandle view = OvelInitView(client_, 0);
  ViewItem* item = OvelGetViewItem(view, 0);
  OvelFreeView(view);
  ASSERT_NE(item, nullptr);
  EXPECT_STREQ(item->name, "Dora");
  OvelFreeItem(item);
  OvelFreeItem(nullptr);

  // After the process's last OvelTerminate, freeing releases nothing.
  view = OvelInitView(client_, 0);
  item = OvelGetViewItem(view, 0);
  OvelFreeView(view);
  long blocks = LiveBlocks();
  EXPECT_EQ(OvelTerminate(client_), 1);
  OvelFreeItem(item);
  EXPECT_EQ(LiveBlocks(), blocks - 1);  // the Client went; the item stays
  ASSERT_EQ(OvelInitialize(&client_, dir_.path().c_str()), 1);
  OvelFreeItem(item);
  EXPECT_EQ(LiveBlocks(), blocks - 4);  // a new Client; the item's four blocks gone
}

TEST_F(ViewTest, CursorWalksGiveWhatAFreshWalkGives) {
  // Two views, one with groups, walked in steps while entries come and go
  // through both Clients; every item must match a walk from the head.
  BookBytes book(60);
  for (uint16_t id = 1; id <= 60; ++id) {
    if (id % 7 == 0) {
      book.Group(id, Numbered("Group ", id), {static_cast<uint16_t>(id - 1)});
    } else {
      book.Plain(id, Numbered("P ", 1000 + id * 37 % 500), "a");
    }
  }
  Write(book.bytes());
  Client* other = nullptr;
  ASSERT_EQ(OvelInitialize(&other, dir_.path().c_str()), 1);
  ViewHandle views[2] = {OvelInitView(client_, 1), OvelInitView(other, 0)};
  std::mt19937 random(7);
  int position[2] = {0, 0};
  for (int step = 0; step < 400; ++step) {
    int which = static_cast<int>(random() % 2);
    ViewHandle view = views[which];
    switch (random() % 6) {
      case 0:
        OvelDeleteViewItem(view, static_cast<int>(random() % 40));
        break;
      case 1: {
        std::string name = Numbered("P ", static_cast<long>(1000 + random() % 500));
        OvelAddItem(which ? other : client_, name.c_str(), "b", nullptr);
        break;
      }
      case 2:
        position[which] = static_cast<int>(random() % 10);  // jump back
        break;
      default: {
        // The same index asked twice, then the next one.
        for (int repeat = 0; repeat < 2; ++repeat) {
          ViewItem* item = OvelGetViewItem(view, position[which]);
          std::vector<Item> fresh = WalkView(view);  // walks from index 0
          if (position[which] < static_cast<int>(fresh.size())) {
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->name, fresh[position[which]].name) << "step " << step;
          } else {
            EXPECT_EQ(item, nullptr);
          }
          OvelFreeItem(item);
          item = OvelGetViewItem(view, position[which]);
          if (position[which] < static_cast<int>(fresh.size())) {
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->name, fresh[position[which]].name) << "step " << step;
          }
          OvelFreeItem(item);
        }
        ++position[which];
      }
    }
  }
  OvelFreeView(views[0]);
  OvelFreeView(views[1]);
  OvelTerminate(other);
}

TEST_F(ViewTest, ViewCallsFailCleanlyAtEveryFault) {
  WriteClub();
  const Bytes original = File();
  struct Case {
    const char* what;
    std::function<bool()> call;
    std::function<void(bool succeeded)> after;  // runs outside the injection
  };
  ViewHandle view = nullptr;
  std::vector<Case> cases = {
      {"init view",
       [&] {
         ViewHandle made = OvelInitView(client_, 1);
         bool ok = made != nullptr;
         if (ok) OvelFreeView(made);
         return ok;
       },
       [](bool) {}},
      {"copy out",
       [&] {
         ViewItem* item = OvelGetViewItem(view, 1);
         bool ok = item != nullptr;
         OvelFreeItem(item);
         return ok;
       },
       [](bool) {}},
      {"delete", [&] { return OvelDeleteViewItem(view, 0) == 1; },
       [&](bool succeeded) {
         if (succeeded) {
           Write(original);
           OvelFreeView(view);
           view = OvelInitView(client_, 1);
         } else {
           EXPECT_EQ(OvelGetViewCount(view), 3);
         }
       }},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    view = OvelInitView(client_, 1);
    long blocks = 0;
    long swept = SweepFaults(
        [&] {
          blocks = LiveBlocks();
          return c.call();
        },
        [&](bool succeeded, long point) {
          EXPECT_EQ(succeeded, point == 0) << "fault point " << point;
          if (!succeeded) {
            EXPECT_EQ(LiveBlocks(), blocks);
          }
          c.after(succeeded);
          EXPECT_EQ(File(), original);
          EXPECT_EQ(dir_.Files(), std::vector<std::string>{"ADDRBOOK.DAT"});
        });
    EXPECT_GT(swept, 0);
    OvelFreeView(view);
    EXPECT_EQ(LoadCount(), 0);
  }
}
