// Groups made and changed: members kept in the order they were added,
// through saves, transactions, deletes and other programs' changes, and
// every refusal with its cause and the book file untouched.
#include <string>

#include "test_support.h"

#if defined(_WIN32)
#include <winerror.h>
#endif

using namespace ovel_test;

namespace {

using Names_ = std::vector<std::string>;

class GroupChangeTest : public BookTest {
 protected:
  void SetUp() override {
    BookTest::SetUp();
    Write(BookBytes(3)
              .Plain(1, "Ann Lee", "ann")
              .Plain(2, "Bob Ray", "bob")
              .Plain(3, "Cy Sun", "cy"));
  }
  Names_ Expand(const char* name, int recursive = 0) {
    return Names(TakeMembers(OvelExpandGroup(client_, name, recursive)));
  }
};

TEST_F(GroupChangeTest, MembersKeepTheOrderTheyWereAddedInAcrossSaves) {
  ASSERT_EQ(OvelAddGroup(client_, "Team", "the team"), 1);
  ViewHandle view = OvelInitView(client_, 1);  // Ann Lee, Bob Ray, Cy Sun, Team
  ASSERT_EQ(OvelAddGroupMember(view, "team", 2), 1);
  ASSERT_EQ(OvelAddGroupMember(view, "TEAM", 0), 1);
  Bytes saved = File();
  EXPECT_EQ(OvelAddGroupMember(view, "Team", 2), 1);  // already there: no save
  EXPECT_EQ(File(), saved);
  ASSERT_EQ(OvelAddItem(client_, "Al Adams", "al", nullptr), 1);  // renumbers every id
  EXPECT_EQ(Expand("Team"), (Names_{"Cy Sun", "Ann Lee"}));
  // Another program reads the same members from the file.
  Names_ read;
  AsProgram(dir_.path(), [&](Client* other, ViewHandle) {
    read = Names(TakeMembers(OvelExpandGroup(other, "team", 0)));
    return true;
  });
  EXPECT_EQ(read, (Names_{"Cy Sun", "Ann Lee"}));
  ASSERT_EQ(OvelRemoveGroupMember(view, "Team", 3), 1);  // Al Adams came first: 3 is Cy Sun
  EXPECT_EQ(OvelRemoveGroupMember(view, "Team", 3), 1);  // no member: nothing to do
  EXPECT_EQ(Expand("Team"), Names_{"Ann Lee"});
  OvelFreeView(view);
}

TEST_F(GroupChangeTest, RefusalsLeaveTheFileAndGiveTheirCause) {
  ASSERT_EQ(OvelAddGroup(client_, "Ludwig van%Beethoven", nullptr), 1);
  ASSERT_EQ(OvelAddGroup(client_, "Ann Lee", nullptr), 1);  // a plain entry's name is no conflict
  ViewHandle view = OvelInitView(client_, 1);               // Ludwig, Ann (group), Ann, Bob, Cy
  const std::string tooLong(OVEL_MAX_NAME + 1, 'x');
  const long kInvalid = OVEL_CAUSE(EINVAL, ERROR_INVALID_PARAMETER);
  struct Refusal {
    const char* what;
    std::function<int()> call;
    long cause;
  };
  const Refusal refusals[] = {
      {"empty name", [&] { return OvelAddGroup(client_, "", nullptr); }, kInvalid},
      {"null name", [&] { return OvelAddGroup(client_, nullptr, nullptr); }, kInvalid},
      {"long name", [&] { return OvelAddGroup(client_, tooLong.c_str(), nullptr); }, kInvalid},
      {"same name in another case",
       [&] { return OvelAddGroup(client_, "LUDWIG VAN BEETHOVEN", nullptr); },
       OVEL_CAUSE(EEXIST, ERROR_ALREADY_EXISTS)},
      {"no such group", [&] { return OvelAddGroupMember(view, "Nobody", 2); },
       OVEL_CAUSE(ENOENT, ERROR_NOT_FOUND)},
      {"empty group name", [&] { return OvelAddGroupMember(view, "", 2); }, kInvalid},
      {"its own member", [&] { return OvelAddGroupMember(view, "ann lee", 0); }, kInvalid},
      {"no entry at the index", [&] { return OvelAddGroupMember(view, "Ann Lee", 9); }, kInvalid},
      {"not a view", [&] { return OvelRemoveGroupMember(nullptr, "Ann Lee", 0); },
       OVEL_CAUSE(EINVAL, ERROR_INVALID_HANDLE)},
  };
  const Bytes before = File();
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    EXPECT_EQ(refusal.call(), 0);
    EXPECT_EQ(LastCause(), refusal.cause);
    EXPECT_EQ(File(), before);
  }
  OvelFreeView(view);
}

TEST_F(GroupChangeTest, AGroupHoldsAtMostItsLimitAndAFullBookNoNewGroup) {
  const uint16_t entries = OVEL_MAX_ENTRIES;
  BookBytes book(entries);
  std::vector<uint16_t> members;
  for (uint16_t id = 1; id < entries; ++id) {
    book.Plain(id, Numbered("P", 10000 + id), "p");
    if (members.size() < OVEL_MAX_MEMBERS) members.push_back(id);
  }
  book.Group(entries, "Big", members);
  Write(book);
  ViewHandle view = OvelInitView(client_, 0);
  const Bytes before = File();
  EXPECT_EQ(OvelAddGroupMember(view, "Big", 300), 0);
  EXPECT_EQ(LastCause(), OVEL_CAUSE(E2BIG, ERROR_FILE_TOO_LARGE));
  EXPECT_EQ(OvelAddGroup(client_, "More", nullptr), 0);
  EXPECT_EQ(LastCause(), OVEL_CAUSE(E2BIG, ERROR_FILE_TOO_LARGE));
  EXPECT_EQ(File(), before);
  // Room again once a member is deleted: the deleted entry leaves the group.
  ASSERT_EQ(OvelDeleteViewItem(view, 0), 1);
  EXPECT_EQ(OvelAddGroupMember(view, "Big", 299), 1);
  EXPECT_EQ(Expand("Big").size(), size_t{OVEL_MAX_MEMBERS});
  EXPECT_EQ(Expand("Big").back(), Numbered("P", 10000 + 301));
  OvelFreeView(view);
}

TEST_F(GroupChangeTest, TransactionsKeepOrDropEveryGroupChange) {
  ViewHandle view = OvelInitView(client_, 1);
  const Bytes before = File();
  for (int keep : {0, 1}) {
    ASSERT_EQ(OvelBeginChanges(client_), 1);
    ASSERT_EQ(OvelGetViewCount(view), 3);  // the view reads the list a discard put back
    ASSERT_EQ(OvelAddGroup(client_, "Crew", nullptr), 1);
    ASSERT_EQ(OvelAddGroup(client_, "Band", nullptr), 1);  // Band, Crew, Ann, Bob, Cy
    ASSERT_EQ(OvelAddGroupMember(view, "Crew", 0), 1);     // a group as a member
    ASSERT_EQ(OvelAddGroupMember(view, "Band", 4), 1);
    ASSERT_EQ(OvelAddGroupMember(view, "Band", 2), 1);
    ASSERT_EQ(OvelDeleteViewItem(view, 4), 1);  // Cy leaves Band
    EXPECT_EQ(Expand("crew", 1), Names_{"Ann Lee"});
    EXPECT_EQ(File(), before);
    ASSERT_EQ(OvelEndChanges(client_, keep), 1);
  }
  EXPECT_EQ(Expand("Crew", 0), Names_{"Band"});
  EXPECT_EQ(Expand("Crew", 1), Names_{"Ann Lee"});
  OvelFreeView(view);
}

TEST_F(GroupChangeTest, AnIndexNamesWhatTheViewShowedAfterAnotherProgramsChange) {
  ASSERT_EQ(OvelAddGroup(client_, "Crew", nullptr), 1);
  ViewHandle view = OvelInitView(client_, 0);  // Ann Lee, Bob Ray, Cy Sun
  ASSERT_EQ(OvelGetViewCount(view), 3);
  // Another program adds someone before Bob: the view's index 1 is still Bob.
  auto otherProgramSaves = [this](bool withDi) {
    BookBytes book(withDi ? 6 : 5);
    book.Plain(1, "Al Adams", "al").Plain(2, "Ann Lee", "ann").Plain(3, "Bob Ray", "bob");
    book.Plain(4, "Cy Sun", "cy");
    if (withDi) book.Plain(6, "Di Dee", "di");
    Write(book.Group(5, "Crew", withDi ? std::vector<uint16_t>{3} : std::vector<uint16_t>{}));
  };
  otherProgramSaves(false);
  ASSERT_EQ(OvelAddGroupMember(view, "Crew", 1), 1);
  EXPECT_EQ(Expand("Crew"), Names_{"Bob Ray"});
  // One more change and the view read a list older than the one before:
  // it cannot tell (ESTALE), and nothing changes.
  otherProgramSaves(true);
  const Bytes before = File();
  EXPECT_EQ(OvelAddGroupMember(view, "Crew", 2), 0);
  EXPECT_EQ(LastCause(), OVEL_CAUSE(ESTALE, ERROR_FILE_INVALID));
  EXPECT_EQ(File(), before);
  // Read again, its indexes are the new list's: Al, Di, Ann, Bob, Cy.
  ASSERT_EQ(OvelGetViewCount(view), 5);
  ASSERT_EQ(OvelAddGroupMember(view, "Crew", 1), 1);
  EXPECT_EQ(Expand("Crew"), (Names_{"Bob Ray", "Di Dee"}));
  OvelFreeView(view);
}

// A file that gives two entries one id: a member added names the entry the
// caller chose, not the first that bears the id.
TEST_F(GroupChangeTest, AMemberOfARepeatedIdIsTheEntryChosen) {
  Write(BookBytes(3).Plain(2, "Ann Aa", "a").Plain(2, "Bob Bb", "b").Group(1, "Pals", {2}));
  ViewHandle view = OvelInitView(client_, 0);
  ASSERT_EQ(OvelAddGroupMember(view, "Pals", 1), 1);
  EXPECT_EQ(Expand("Pals"), (Names_{"Ann Aa", "Bob Bb"}));
  ASSERT_EQ(OvelRemoveGroupMember(view, "Pals", 0), 1);
  EXPECT_EQ(Expand("Pals"), Names_{"Bob Bb"});
  OvelFreeView(view);
}

}  // namespace
