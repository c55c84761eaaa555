// Every exported call of a whole scenario, with each allocation and file
// operation it performs failing in turn: the call gives its failure result
// and the cause the failing operation gave, nothing leaks, the book file
// stays byte-identical, and the same call without injection then succeeds.
#include <iostream>
#include <string>

#include "frame/allocator.h"
#include "test_support.h"

using namespace ovel_test;

namespace {

struct Step {
  std::string what;
  std::function<bool()> call;  // true when the call succeeded
};

}  // namespace

TEST(FaultSweep, EveryCallOfAScenarioFailsCleanlyAtEveryPoint) {
  ScratchDir dir;
  WriteBytes(dir.BookFile(), BookBytes(6)
                                 .Plain(1, "Ann Lee", "ann@x", "first")
                                 .Plain(2, "Carl Moe", "carl@x")
                                 .Plain(3, "Dora Moe", "dora@x")
                                 .Group(4, "Family", {2, 3}, "kin")
                                 .Group(5, "Party", {1, 4, 5})
                                 .Plain(6, "Earl Zed", "earl@x")
                                 .bytes());
  Client* client = nullptr;
  ViewHandle view = nullptr;
  ViewItem* item = nullptr;
  MemberItem* members = nullptr;
  std::vector<Step> steps = {
      {"OvelInitialize", [&] { return OvelInitialize(&client, dir.path().c_str()) == 1; }},
      {"OvelAddItem without a view",
       [&] { return OvelAddItem(client, "Bo Bell", "bo@x", "new") == 1; }},
      {"OvelExpandGroup without a view",
       [&] { return (members = OvelExpandGroup(client, "party", 1)) != nullptr; }},
      {"OvelFreeGroup",
       [&] {
         OvelFreeGroup(members);
         members = nullptr;
         return true;
       }},
      {"OvelInitView", [&] { return (view = OvelInitView(client, 1)) != nullptr; }},
      {"OvelGetViewCount", [&] { return OvelGetViewCount(view) == 7; }},
      {"OvelGetViewItem", [&] { return (item = OvelGetViewItem(view, 3)) != nullptr; }},
      {"OvelFreeItem",
       [&] {
         OvelFreeItem(item);
         item = nullptr;
         return true;
       }},
      {"OvelExpandGroup with a view",
       [&] { return (members = OvelExpandGroup(client, "Party", 0)) != nullptr; }},
      {"OvelFreeGroup again",
       [&] {
         OvelFreeGroup(members);
         members = nullptr;
         return true;
       }},
      {"OvelAddItem with a view",
       [&] { return OvelAddItem(client, "Al Adams", "al@x", nullptr) == 1; }},
      {"OvelAddGroup", [&] { return OvelAddGroup(client, "Crew", "ship") == 1; }},
      // The view shows Al Adams, Bo Bell, Crew, Family, Ann Lee ...: Crew
      // joins Party, Ann Lee leaves it (and the delete after takes Crew).
      {"OvelAddGroupMember", [&] { return OvelAddGroupMember(view, "party", 2) == 1; }},
      {"OvelRemoveGroupMember", [&] { return OvelRemoveGroupMember(view, "Party", 4) == 1; }},
      {"OvelDeleteViewItem", [&] { return OvelDeleteViewItem(view, 2) == 1; }},
      {"OvelFreeView", [&] { return OvelFreeView(view) == 1; }},
      {"OvelTerminate", [&] { return OvelTerminate(client) == 1; }},
  };

  long total = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    Bytes before;
    long blocks = 0, locals = 0, cause = 0, injected = 0;
    long swept = SweepFaults(
        [&] {
          before = ReadBytes(dir.BookFile());
          blocks = LiveBlocks();
          locals = LiveLocals();
          bool succeeded = step.call();
          cause = LastCause();
          injected = ovel::InjectedCause();
          return succeeded;
        },
        [&](bool succeeded, long point) {
          EXPECT_EQ(succeeded, point == 0) << "fault point " << point;
          if (succeeded) return;
          EXPECT_EQ(cause, injected) << "fault point " << point;
          EXPECT_EQ(ReadBytes(dir.BookFile()), before) << "fault point " << point;
          EXPECT_EQ(dir.Files(), std::vector<std::string>{"ADDRBOOK.DAT"});
          if (step.what == "OvelInitialize") {
            // A failed initialization stays counted (its context may stay).
            EXPECT_EQ(client, nullptr);
            while (ovel::ProcessContextExists()) ovel::ProcessContextTerm();
            EXPECT_EQ(LiveBlocks(), blocks);
          } else {
            EXPECT_EQ(LiveBlocks(), blocks) << "fault point " << point;
            EXPECT_EQ(LiveLocals(), locals) << "fault point " << point;
          }
        });
    total += swept;
    std::cout << "  " << step.what << ": " << swept << " injection points\n";
  }
  std::cout << "swept " << total << " injection points in all\n";
  RecordProperty("injection_points", static_cast<int>(total));
  EXPECT_GT(total, 50);
  EXPECT_EQ(LiveBlocks(), 0);
  EXPECT_FALSE(ovel::ProcessContextExists());
}
