// One book, several programs: another program's changes are seen and never
// undone, a delete through a view that read an older list deletes what the
// view showed, and the book file stays its owner's (links, modes, owners,
// read-only books, leftovers of saves that died).
#include <algorithm>
#include <string>

#include "frame/client.h"
#include "test_support.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#else
#include <windows.h>
#endif

using namespace ovel_test;

namespace {

class ShareTest : public BookTest {
 protected:
  std::vector<std::string> Fresh() const {
    Client* other = nullptr;
    std::vector<std::string> names;
    if (OvelInitialize(&other, dir_.path().c_str())) {
      if (ViewHandle view = OvelInitView(other, 1)) {
        names = ViewNames(view);
        OvelFreeView(view);
      }
      OvelTerminate(other);
    }
    return names;
  }
};

#if !defined(_WIN32)

// Runs `body` in a child process, as an ordinary user (nobody) when the
// test runs as root; the child's exit status: 0 when `body` returned true.
int InChild(bool ordinaryUser, const std::function<bool()>& body) {
  pid_t child = fork();
  if (child == 0) {
    if (ordinaryUser && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// Another program's changes: open the book, add `add` (when given) and
// delete the entry named `remove` (when given).
bool OtherProgramChanges(const std::string& dir, const char* add, const char* remove) {
  Client* client = nullptr;
  if (!OvelInitialize(&client, dir.c_str())) return false;
  bool ok = !add || OvelAddItem(client, add, "other@x", "by another program") == 1;
  if (remove) {
    ViewHandle view = OvelInitView(client, 1);
    std::vector<std::string> names = ViewNames(view);
    auto at = std::find(names.begin(), names.end(), remove);
    ok = ok && at != names.end() && OvelDeleteViewItem(view, int(at - names.begin())) == 1;
    OvelFreeView(view);
  }
  return OvelTerminate(client) == 1 && ok;
}

TEST_F(ShareTest, AStaleViewDeletesWhatItShowedAndUndoesNothing) {
  Write(BookBytes(4)
            .Plain(1, "Ann Aa", "a@x")
            .Plain(2, "Bob Bb", "b@x")
            .Plain(3, "Cy Cc", "c@x")
            .Plain(4, "Di Dd", "d@x"));
  ViewHandle view = OvelInitView(client_, 1);
  ASSERT_EQ(ViewNames(view), (std::vector<std::string>{"Ann Aa", "Bob Bb", "Cy Cc", "Di Dd"}));

  // Another program adds an entry before Cy and deletes Bob.
  ASSERT_EQ(InChild(false, [&] { return OtherProgramChanges(dir_.path(), "Al Ab", "Bob Bb"); }), 0);
  // Index 2 showed Cy; now Al Ab stands there.
  EXPECT_EQ(OvelDeleteViewItem(view, 2), 1);
  // Index 1 showed Bob, whom the other program deleted: nothing to delete,
  // and in the list the view read, positions shift as after any delete.
  EXPECT_EQ(OvelDeleteViewItem(view, 1), 1);
  EXPECT_EQ(OvelAddItem(client_, "Ed Ee", "e@x", nullptr), 1);
  const std::vector<std::string> expected{"Ann Aa", "Al Ab", "Di Dd", "Ed Ee"};
  EXPECT_EQ(Fresh(), expected);
  EXPECT_EQ(ViewNames(view), expected);  // the count reads the file again

  // A view two reads behind cannot tell what its index meant.
  ViewHandle behind = OvelInitView(client_, 0);
  ASSERT_EQ(OvelGetViewCount(behind), 4);
  ASSERT_EQ(InChild(false, [&] { return OtherProgramChanges(dir_.path(), "Fay Ff", nullptr); }), 0);
  EXPECT_EQ(OvelGetViewCount(view), 5);  // read again once
  ASSERT_EQ(InChild(false, [&] { return OtherProgramChanges(dir_.path(), "Gil Gg", nullptr); }), 0);
  EXPECT_EQ(OvelGetViewCount(view), 6);  // and again
  Bytes before = File();
  EXPECT_EQ(OvelDeleteViewItem(behind, 0), 0);
  EXPECT_EQ(File(), before);
  EXPECT_EQ(OvelGetViewCount(behind), 6);  // reading the list again makes it current
  EXPECT_EQ(OvelDeleteViewItem(behind, 0), 1);
  EXPECT_EQ(Fresh().front(), "Al Ab");
  OvelFreeView(behind);
  OvelFreeView(view);
}

TEST_F(ShareTest, ViewsAndGroupsSeeAnotherProgramsChanges) {
  Write(BookBytes(2).Group(1, "Team", {2}).Plain(2, "Ann Aa", "a@x"));
  ViewHandle view = OvelInitView(client_, 1);
  ASSERT_EQ(OvelGetViewCount(view), 2);
  // The other program's file is written by another writer entirely.
  Bytes other = BookBytes(3)
                    .Group(1, "Team", {2, 3})
                    .Plain(2, "Ann Aa", "a@x")
                    .Plain(3, "Bo Bb", "b@x")
                    .bytes();
  std::string temporary = dir_.path() + "/other.tmp";
  WriteBytes(temporary, other);
  std::filesystem::rename(temporary, dir_.BookFile());
  EXPECT_EQ(Names(TakeMembers(OvelExpandGroup(client_, "team", 0))),
            (std::vector<std::string>{"Ann Aa", "Bo Bb"}));
  EXPECT_EQ(OvelGetViewCount(view), 3);
  // A file that another program left unreadable: changes are refused, the
  // list read last stays, and the file is left alone.
  Bytes broken = other;
  broken.resize(broken.size() - 2);
  WriteBytes(dir_.BookFile(), broken);
  EXPECT_EQ(OvelAddItem(client_, "Cy Cc", "c@x", nullptr), 0);
  EXPECT_EQ(OvelDeleteViewItem(view, 0), 0);
  EXPECT_EQ(OvelGetViewCount(view), 3);
  EXPECT_EQ(OvelInitView(client_, 0), nullptr);
  EXPECT_EQ(File(), broken);
  OvelFreeView(view);
}

TEST_F(ShareTest, ASymbolicLinkStaysALinkAndTheFileItNamesIsReplaced) {
  namespace fs = std::filesystem;
  ScratchDir real;
  WriteBytes(real.BookFile(), BookBytes(1).Plain(1, "Ann Aa", "a@x").bytes());
  fs::create_symlink(real.BookFile(), dir_.BookFile());
  ASSERT_EQ(OvelAddItem(client_, "Bo Bb", "b@x", nullptr), 1);
  EXPECT_TRUE(fs::is_symlink(dir_.BookFile()));
  EXPECT_EQ(ReadBytes(real.BookFile()),
            BookBytes(2).Plain(1, "Ann Aa", "a@x").Plain(2, "Bo Bb", "b@x").bytes());
  EXPECT_EQ(real.Files(), std::vector<std::string>{"ADDRBOOK.DAT"});
  EXPECT_TRUE(FileExists(real.path() + "/ADDRBOOK.LCK"));  // beside the file the link names

  // A relative link whose file does not exist yet: the first save makes it.
  ScratchDir second;
  fs::create_directory(second.path() + "/books");
  fs::create_symlink("books/mine.dat", second.BookFile());
  Client* client = nullptr;
  ASSERT_EQ(OvelInitialize(&client, second.path().c_str()), 1);
  EXPECT_EQ(OvelAddItem(client, "Cy Cc", "c@x", nullptr), 1);
  EXPECT_EQ(ReadBytes(second.path() + "/books/mine.dat"),
            BookBytes(1).Plain(1, "Cy Cc", "c@x").bytes());
  OvelTerminate(client);
}

TEST_F(ShareTest, AReadOnlyBookIsNotReplacedAndItsOwnerIsKept) {
  Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
  chmod(dir_.path().c_str(), 0777);
  chmod(dir_.BookFile().c_str(), 0444);
  Bytes before = File();
  EXPECT_EQ(InChild(true,
                    [&] {
                      Client* client = nullptr;
                      if (!OvelInitialize(&client, dir_.path().c_str())) return false;
                      ViewHandle view = OvelInitView(client, 1);
                      bool ok = OvelGetViewCount(view) == 1 &&
                                OvelAddItem(client, "Bo Bb", "b@x", nullptr) == 0 &&
                                OvelDeleteViewItem(view, 0) == 0 && OvelGetViewCount(view) == 1;
                      OvelFreeView(view);
                      return OvelTerminate(client) == 1 && ok;
                    }),
            0);
  EXPECT_EQ(File(), before);
  EXPECT_EQ(dir_.Files(), std::vector<std::string>{"ADDRBOOK.DAT"});

  // Root may write any book; the file keeps the owner, group and mode it had.
  if (geteuid() != 0) GTEST_SKIP() << "giving a file away needs root";
  chmod(dir_.BookFile().c_str(), 0640);
  ASSERT_EQ(chown(dir_.BookFile().c_str(), 65534, 65534), 0);
  ASSERT_EQ(OvelAddItem(client_, "Bo Bb", "b@x", nullptr), 1);
  struct stat info;
  ASSERT_EQ(stat(dir_.BookFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534u);
  EXPECT_EQ(info.st_gid, 65534u);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(ShareTest, ADirectoryThatCannotBeListedOrWrittenStillServes) {
  // May write and search but not list: the save cannot flush the directory
  // and succeeds all the same.
  chmod(dir_.path().c_str(), 0333);
  EXPECT_EQ(InChild(true,
                    [&] {
                      Client* client = nullptr;
                      return OvelInitialize(&client, dir_.path().c_str()) &&
                             OvelAddItem(client, "Ann Aa", "a@x", nullptr) == 1 &&
                             OvelTerminate(client) == 1;
                    }),
            0);
  chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(File(), BookBytes(1).Plain(1, "Ann Aa", "a@x").bytes());

  // May read but not write, with no lock file made yet: the book loads and
  // walks; a change is refused.
  ScratchDir readOnly;
  WriteBytes(readOnly.BookFile(), File());
  chmod(readOnly.path().c_str(), 0555);
  EXPECT_EQ(InChild(true,
                    [&] {
                      Client* client = nullptr;
                      if (!OvelInitialize(&client, readOnly.path().c_str())) return false;
                      ViewHandle view = OvelInitView(client, 1);
                      bool ok = ViewNames(view) == std::vector<std::string>{"Ann Aa"} &&
                                OvelAddItem(client, "B", "b", nullptr) == 0;
                      OvelFreeView(view);
                      return OvelTerminate(client) == 1 && ok;
                    }),
            0);
  chmod(readOnly.path().c_str(), 0755);
}

TEST_F(ShareTest, DirectoryNamesAreResolvedAsTheSystemResolvesThem) {
  namespace fs = std::filesystem;
  // base/link names base/real/sub, so base/link/.. is base/real.
  fs::create_directories(dir_.path() + "/real/sub");
  fs::create_directory_symlink(dir_.path() + "/real/sub", dir_.path() + "/link");
  Client* viaLink = nullptr;
  Client* direct = nullptr;
  Client* alias = nullptr;
  ASSERT_EQ(OvelInitialize(&viaLink, (dir_.path() + "/link/..").c_str()), 1);
  ASSERT_EQ(OvelInitialize(&direct, (dir_.path() + "/real").c_str()), 1);
  ASSERT_EQ(OvelInitialize(&alias, (dir_.path() + "/link").c_str()), 1);
  EXPECT_EQ(viaLink->book, direct->book);  // two names, one Book
  EXPECT_NE(alias->book, direct->book);
  ASSERT_EQ(OvelAddItem(viaLink, "Ann Aa", "a@x", nullptr), 1);
  EXPECT_TRUE(FileExists(dir_.path() + "/real/ADDRBOOK.DAT"));
  ViewHandle view = OvelInitView(direct, 0);
  EXPECT_EQ(ViewNames(view), std::vector<std::string>{"Ann Aa"});
  OvelFreeView(view);
  // A path that does not exist yet is resolved by text past its last
  // existing directory.
  Client* later = nullptr;
  ASSERT_EQ(OvelInitialize(&later, (dir_.path() + "/link/new/../..").c_str()), 1);
  EXPECT_EQ(later->book, direct->book);
  for (Client* client : {viaLink, direct, alias, later}) OvelTerminate(client);
}

#endif  // !_WIN32

TEST_F(ShareTest, AMemberIdThatNamesNoEntryIsDroppedOnLoad) {
  // The highest id makes the next id 9: the id the group names.
  Write(BookBytes(3).Group(1, "Team", {2, 9}).Plain(2, "Ann Aa", "a@x").Plain(8, "Bo Bb", "b@x"));
  ViewHandle view = OvelInitView(client_, 1);
  EXPECT_EQ(Names(TakeMembers(OvelExpandGroup(client_, "Team", 0))),
            std::vector<std::string>{"Ann Aa"});
  ASSERT_EQ(OvelAddItem(client_, "Cy Cc", "c@x", nullptr), 1);
  EXPECT_EQ(Names(TakeMembers(OvelExpandGroup(client_, "Team", 0))),
            std::vector<std::string>{"Ann Aa"});
  OvelFreeView(view);
}

TEST_F(ShareTest, ASaveRemovesWhatSavesThatDiedLeftBehind) {
#if defined(_WIN32)
  const std::vector<std::string> leftovers{"OVL0A1B2.OLD", "OVL0A1B2.TMP"};
  const std::vector<std::string> others{"OVL0A1B2.TXT", "OVLNOTES.TMP"};
#else
  const std::vector<std::string> leftovers{".ovelAb12Cd", ".ovelAb12Cdb"};
  const std::vector<std::string> others{".ovel", "notes.txt"};
#endif
  Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
  for (const std::string& name : leftovers) WriteBytes(dir_.path() + "/" + name, File());
  for (const std::string& name : others) WriteBytes(dir_.path() + "/" + name, {1});
  std::vector<std::string> expected = others;
  expected.push_back("ADDRBOOK.DAT");
  std::sort(expected.begin(), expected.end());
  ViewHandle view = OvelInitView(client_, 1);
  ASSERT_EQ(OvelDeleteViewItem(view, 0), 1);  // the Book's first save looks
  EXPECT_EQ(dir_.Files(), expected);
  OvelFreeView(view);

  // Later saves look when the count of saves is odd: a save died under way.
  for (const std::string& name : leftovers) WriteBytes(dir_.path() + "/" + name, File());
  std::string lock = dir_.path() + "/ADDRBOOK.LCK";
  Bytes count = ReadBytes(lock);
  ASSERT_EQ(count.size(), 8u);
  EXPECT_EQ(count[0] % 2, 0);
  count[0] |= 1;
  WriteBytes(lock, count);
  ASSERT_EQ(OvelAddItem(client_, "Bo Bb", "b@x", nullptr), 1);
  EXPECT_EQ(dir_.Files(), expected);
  EXPECT_EQ(ReadBytes(lock)[0], count[0] + 3);  // even again, and new
}

#if defined(_WIN32)
TEST_F(ShareTest, AReadOnlyBookIsNotReplacedAndAttributesAreKept) {
  Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
  ASSERT_TRUE(SetFileAttributesA(dir_.BookFile().c_str(), FILE_ATTRIBUTE_READONLY));
  Bytes before = File();
  EXPECT_EQ(OvelAddItem(client_, "Bo Bb", "b@x", nullptr), 0);
  EXPECT_EQ(File(), before);
  SetFileAttributesA(dir_.BookFile().c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(OvelAddItem(client_, "Bo Bb", "b@x", nullptr), 1);
  // A hidden book stays hidden: the new file takes the old one's attributes.
  ASSERT_TRUE(SetFileAttributesA(dir_.BookFile().c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(OvelAddItem(client_, "Cy Cc", "c@x", nullptr), 1);
  EXPECT_TRUE(GetFileAttributesA(dir_.BookFile().c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(File(), BookBytes(3)
                        .Plain(1, "Ann Aa", "a@x")
                        .Plain(2, "Bo Bb", "b@x")
                        .Plain(3, "Cy Cc", "c@x")
                        .bytes());
}
#endif

}  // namespace
