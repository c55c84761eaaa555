// One book, several programs: another program's changes are seen and never
// undone, a delete through a view that read an older list deletes what the
// view showed, and the book file stays its owner's (links, modes, owners,
// read-only books, leftovers of saves that died).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "frame/client.h"
#include "test_support.h"

#if !defined(_WIN32)
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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
  ASSERT_EQ(InChild([&] { return OtherProgramChanges(dir_.path(), "Al Ab", "Bob Bb"); }), 0);
  // Index 2 showed Cy; now Al Ab stands there.  In the list the view read,
  // positions shift as after any delete: index 2 then showed Di.
  EXPECT_EQ(OvelDeleteViewItem(view, 2), 1);
  EXPECT_EQ(OvelDeleteViewItem(view, 2), 1);
  // Index 1 showed Bob, whom the other program deleted: nothing to delete.
  EXPECT_EQ(OvelDeleteViewItem(view, 1), 1);
  EXPECT_EQ(OvelAddItem(client_, "Ed Ee", "e@x", nullptr), 1);
  const std::vector<std::string> expected{"Ann Aa", "Al Ab", "Ed Ee"};
  EXPECT_EQ(Fresh(), expected);
  EXPECT_EQ(ViewNames(view), expected);  // the count reads the file again

  // A view two reads behind cannot tell what its index meant.
  ViewHandle behind = OvelInitView(client_, 0);
  ASSERT_EQ(OvelGetViewCount(behind), 3);
  ASSERT_EQ(InChild([&] { return OtherProgramChanges(dir_.path(), "Fay Ff", nullptr); }), 0);
  EXPECT_EQ(OvelGetViewCount(view), 4);  // read again once
  ASSERT_EQ(InChild([&] { return OtherProgramChanges(dir_.path(), "Gil Gg", nullptr); }), 0);
  EXPECT_EQ(OvelGetViewCount(view), 5);  // and again
  Bytes before = File();
  EXPECT_EQ(OvelDeleteViewItem(behind, 0), 0);
  EXPECT_EQ(File(), before);
  EXPECT_EQ(OvelGetViewCount(behind), 5);  // reading the list again makes it current
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

  // A link whose file does not exist (here into a directory of another's):
  // no book is made through it, nor a lock file beside what it names.
  ScratchDir second;
  fs::remove(dir_.BookFile());
  fs::create_symlink(second.path() + "/new", dir_.BookFile());
  EXPECT_EQ(OvelAddItem(client_, "Cy Cc", "c@x", nullptr), 0);
  EXPECT_EQ(LastCause(), ENOENT);
  EXPECT_EQ(OvelInitView(client_, 1), nullptr);
  EXPECT_EQ(LastCause(), ENOENT);
  EXPECT_TRUE(fs::is_empty(second.path()));
}

TEST_F(ShareTest, AReadOnlyBookIsNotReplacedAndItsOwnerIsKept) {
  Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
  chmod(dir_.path().c_str(), 0777);
  chmod(dir_.BookFile().c_str(), 0444);
  Bytes before = File();
  EXPECT_EQ(InChild(
                [&] {
                  Client* client = nullptr;
                  if (!OvelInitialize(&client, dir_.path().c_str())) return false;
                  ViewHandle view = OvelInitView(client, 1);
                  bool ok = OvelGetViewCount(view) == 1 &&
                            OvelAddItem(client, "Bo Bb", "b@x", nullptr) == 0 &&
                            OvelDeleteViewItem(view, 0) == 0 && OvelGetViewCount(view) == 1;
                  OvelFreeView(view);
                  return OvelTerminate(client) == 1 && ok;
                },
                &kNobody),
            0);
  EXPECT_EQ(File(), before);
  EXPECT_EQ(dir_.Files(), std::vector<std::string>{"ADDRBOOK.DAT"});
}

// The new file keeps the owner, the group (alone, where the caller may not
// give the file away) and a mode the temporary file would not have by
// itself; saved by this process and, where it runs as root, by an ordinary
// user.  A new book has the mode a plain creation gives it.
TEST_F(ShareTest, TheReplacedBookKeepsOwnerGroupAndMode) {
  const Identity user{65533, 12345, {12345, 12346}};
  const unsigned self = geteuid(), group = getegid();
  const struct {
    const Identity* saver;  // null: this process
    unsigned uid, gid, mode;
  } cases[] = {{nullptr, self, group, 0640},  {nullptr, self, group, 0604},
               {nullptr, 65534, 65534, 0640}, {nullptr, 0, 12345, 0604},
               {&user, 65533, 12346, 0640},   {&user, 65533, 12345, 0604},
               {&user, 65532, 12346, 0660}};
  chmod(dir_.path().c_str(), 0777);
  auto addAs = [&](const Identity* saver) {
    return InChild(
        [&] {
          umask(027);
          return AsProgram(dir_.path(), [](Client* client, ViewHandle) {
            return OvelAddItem(client, "Bo Bb", "b@x", nullptr) == 1;
          });
        },
        saver);
  };
  auto ownerAndMode = [&] {
    struct stat info = {};
    stat(dir_.BookFile().c_str(), &info);
    return std::vector<unsigned>({info.st_uid, info.st_gid, info.st_mode & 07777u});
  };
  for (const auto& c : cases) {
    if ((c.saver || c.uid != self || c.gid != group) && !IsRoot()) continue;
    SCOPED_TRACE(std::to_string(c.uid) + ":" + std::to_string(c.gid) + " " +
                 std::to_string(c.mode));
    Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
    ASSERT_EQ(chown(dir_.BookFile().c_str(), c.uid, c.gid) | chmod(dir_.BookFile().c_str(), c.mode),
              0);
    ASSERT_EQ(addAs(c.saver), 0);
    // An ordinary user cannot give the file away, only one of their groups.
    const unsigned owner = c.saver ? c.saver->uid : c.uid;
    EXPECT_EQ(ownerAndMode(), std::vector<unsigned>({owner, c.gid, c.mode}));
    EXPECT_EQ(File(), BookBytes(2).Plain(1, "Ann Aa", "a@x").Plain(2, "Bo Bb", "b@x").bytes());
  }
  for (const Identity* saver : {static_cast<const Identity*>(nullptr), &user}) {
    if (saver && !IsRoot()) continue;
    std::filesystem::remove(dir_.BookFile());
    ASSERT_EQ(addAs(saver), 0);
    EXPECT_EQ(ownerAndMode(),
              std::vector<unsigned>({saver ? saver->uid : self, saver ? saver->gid : group, 0640}));
  }
}

// A lock file or book file planted by someone else: a link is never
// followed, a FIFO never waited on (the child's alarm would fail the test),
// nothing is written through either, and no change goes through.
TEST_F(ShareTest, OnlyRegularFilesServeAndNoneIsFollowedOrWaitedFor) {
  ScratchDir elsewhere;
  const std::string victim = elsewhere.path() + "/victim", lock = dir_.path() + "/ADDRBOOK.LCK";
  const std::string book = dir_.BookFile();
  const Bytes secret{'r', 'o', 'o', 't', ':', 'x', ':', '0'};
  const struct {
    std::function<int()> plant;  // 0 when planted
    int cause;
    bool readable;  // the book still loads
  } cases[] = {
      {[&] { return symlink(victim.c_str(), lock.c_str()); }, ELOOP, true},
      {[&] { return link(victim.c_str(), lock.c_str()); }, ELOOP, true},
      {[&] { return mkfifo(lock.c_str(), 0666); }, ENXIO, true},
      {[&] { return mkdir(lock.c_str(), 0777); }, EISDIR, true},
      {[&] { return unlink(book.c_str()) | mkfifo(book.c_str(), 0666); }, ENXIO, false},
      {[&] {
         return unlink(book.c_str()) | symlink(lock.c_str(), book.c_str()) |
                mkfifo(lock.c_str(), 0666);
       },
       ENXIO, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    std::filesystem::remove_all(lock);
    std::filesystem::remove(book);
    Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
    WriteBytes(victim, secret);
    ASSERT_EQ(c.plant(), 0);
    EXPECT_EQ(InChild([&] {
                return AsProgram(dir_.path(), [&](Client* client, ViewHandle view) {
                  bool refused = OvelAddItem(client, "Bo Bb", "b@x", nullptr) == 0;
                  return refused && errno == c.cause && (OvelGetViewCount(view) == 1) == c.readable;
                });
              }),
              0);
    EXPECT_EQ(ReadBytes(victim), secret);
  }
}

// Root reads and changes a user's book; a group shares a book whose lock
// file its maker left narrower than the book.  Whoever may change the book
// may take its lock.
TEST_F(ShareTest, WhoeverMayChangeTheBookMayTakeItsLock) {
  if (!IsRoot()) GTEST_SKIP() << "acting as several users needs root";
  const Identity owner{65533, 12345, {12345}}, member{65532, 12346, {12345}};
  const std::string lock = dir_.path() + "/ADDRBOOK.LCK";
  auto changes = [&](const Identity& who) {
    return InChild(
        [&] {
          return AsProgram(dir_.path(), [](Client* client, ViewHandle view) {
            return OvelAddItem(client, "Zed Zz", "z@x", nullptr) == 1 &&
                   OvelDeleteViewItem(view, OvelGetViewCount(view) - 1) == 1;
          });
        },
        &who);
  };
  struct stat info;
  Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
  ASSERT_EQ(chown(dir_.path().c_str(), owner.uid, owner.gid), 0);
  ASSERT_EQ(chown(dir_.BookFile().c_str(), owner.uid, owner.gid), 0);
  chmod(dir_.BookFile().c_str(), 0644);
  // Root's read makes no lock file; root's change makes the owner's.
  EXPECT_EQ(Fresh().size(), 1u);
  EXPECT_FALSE(FileExists(lock));
  ASSERT_EQ(OvelAddItem(client_, "Bo Bb", "b@x", nullptr), 1);
  ASSERT_EQ(stat(lock.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid * 100000 + info.st_gid, owner.uid * 100000 + owner.gid);
  EXPECT_EQ(changes(owner), 0);
  // Shared with a group after the lock file was made: a member may change it.
  chmod(dir_.path().c_str(), 02775);
  chmod(dir_.BookFile().c_str(), 0664);
  chmod(lock.c_str(), 0644);
  EXPECT_EQ(changes(member), 0);
  // A new lock file is read by whoever may read the book, written by
  // whoever may write the book or its directory.
  const unsigned modes[][3] = {// book, directory, lock file
                               {0640, 0750, 0640},
                               {0600, 02770, 0660},
                               {0604, 0757, 0606}};
  for (const auto& m : modes) {
    unlink(lock.c_str());
    chmod(dir_.BookFile().c_str(), m[0]);
    chmod(dir_.path().c_str(), m[1]);
    ASSERT_EQ(OvelAddItem(client_, "Cy Cc", "c@x", nullptr), 1);
    ASSERT_EQ(stat(lock.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, m[2]) << std::oct << m[0] << " " << m[1];
  }
}

// Where the system gives a new file the number and times of an old one,
// only the count of saves in the lock file tells the versions apart.
TEST_F(ShareTest, WhenStampsCollideTheCountOfSavesTellsVersionsApart) {
  ovel::CollideStamps(true);
  Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
  ViewHandle view = OvelInitView(client_, 1);
  ASSERT_EQ(OvelAddItem(client_, "Cy Cc", "c@x", nullptr), 1);  // makes the lock file
  // Another program replaces Ann by Bob: a file of the same size.
  ASSERT_EQ(InChild([&] {
              return AsProgram(dir_.path(), [](Client* client, ViewHandle other) {
                return OvelDeleteViewItem(other, 0) == 1 &&
                       OvelAddItem(client, "Bob Bb", "a@x", nullptr) == 1;
              });
            }),
            0);
  EXPECT_EQ(ViewNames(view), (std::vector<std::string>{"Bob Bb", "Cy Cc"}));
  OvelFreeView(view);
  ovel::CollideStamps(false);
}

// Another program waits for a transaction and then sees all of its
// changes or none; a program killed inside one leaves the book as it was.
TEST_F(ShareTest, OtherProgramsSeeATransactionWholeOrNotAtAll) {
  for (int keep : {1, 0}) {
    SCOPED_TRACE(keep);
    Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
    ASSERT_EQ(OvelBeginChanges(client_), 1);
    ASSERT_EQ(OvelAddItem(client_, "Bo Bb", "b@x", nullptr), 1);
    Bytes expected =
        keep ? BookBytes(2).Plain(1, "Ann Aa", "a@x").Plain(2, "Bo Bb", "b@x").bytes() : File();
    // A program of its own kind (the forked child shares this one's
    // memory): it takes the shared byte-range lock on the lock file.
    int reader = StartChild([&] {
      int fd = open((dir_.path() + "/ADDRBOOK.LCK").c_str(), O_RDONLY);
      struct flock shared = {};
      shared.l_type = F_RDLCK;
      shared.l_start = 0x40000000;
      shared.l_len = 1;
      return fcntl(fd, F_OFD_SETLKW, &shared) == 0 && File() == expected;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(OvelEndChanges(client_, keep), 1);
    EXPECT_EQ(WaitChild(reader), 0);
  }
  Bytes before = File();
  EXPECT_EQ(InChild([&] {
              return AsProgram(dir_.path(), [](Client* client, ViewHandle view) {
                OvelBeginChanges(client);
                for (int i = 0; i < 100; ++i) OvelAddItem(client, "Zed Zz", "z@x", nullptr);
                OvelDeleteViewItem(view, 0);
                raise(SIGKILL);
                return true;
              });
            }),
            128);
  EXPECT_EQ(File(), before);
  EXPECT_EQ(dir_.Files(), std::vector<std::string>{"ADDRBOOK.DAT"});
  EXPECT_EQ(OvelAddItem(client_, "Di Dd", "d@x", nullptr), 1);  // the lock went with the program
}

// A child forked inside a transaction is another program.  What it
// inherited is not its own: every call on it fails, closing it frees memory
// only, and the transaction's lock stays the parent's.  A Client of its own
// waits for that lock, as another program's does (forked before the
// transaction or inside it).
TEST_F(ShareTest, AChildForkedInsideATransactionIsAnotherProgram) {
  auto refused = [](long result) { return result <= 0 && errno == EINVAL; };
  for (bool forkedFirst : {true, false}) {
    SCOPED_TRACE(forkedFirst);
    Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
    int go[2], added[2];
    ASSERT_EQ(pipe(go) | pipe(added), 0);
    auto other = [&] {
      char byte;
      return read(go[0], &byte, 1) == 1 && OtherProgramChanges(dir_.path(), "Cy Cc", nullptr) &&
             write(added[1], "+", 1) == 1;
    };
    int third = forkedFirst ? StartChild(other) : 0;
    ViewHandle view = OvelInitView(client_, 1);
    ASSERT_EQ(OvelBeginChanges(client_), 1);
    ASSERT_EQ(OvelAddItem(client_, "Bo Bb", "b@x", nullptr), 1);
    Bytes before = File();
    EXPECT_EQ(InChild([&] {
                bool all = refused(OvelAddItem(client_, "Zed Zz", "z@x", nullptr)) &&
                           refused(OvelInitView(client_, 0) != nullptr) &&
                           refused(OvelGetViewCount(view)) &&
                           refused(OvelGetViewItem(view, 0) != nullptr) &&
                           refused(OvelDeleteViewItem(view, 0)) &&
                           refused(OvelExpandGroup(client_, "Ann Aa", 0) != nullptr) &&
                           refused(OvelBeginChanges(client_)) &&
                           refused(OvelEndChanges(client_, 1)) && refused(OvelFreeView(view));
                return OvelTerminate(client_) == 1 && all && refused(OvelTerminate(client_)) &&
                       LiveBlocks() + LiveLocals() == 0;  // freed
              }),
              0);
    EXPECT_EQ(File(), before);
    if (!forkedFirst) third = StartChild(other);
    ASSERT_EQ(write(go[1], "+", 1), 1);
    struct pollfd done = {added[0], POLLIN, 0};
    EXPECT_EQ(poll(&done, 1, 200), 0);  // the other program waits for the transaction
    EXPECT_EQ(OvelEndChanges(client_, 1), 1);
    EXPECT_EQ(WaitChild(third), 0);
    EXPECT_EQ(ViewNames(view), (std::vector<std::string>{"Ann Aa", "Bo Bb", "Cy Cc"}));
    OvelFreeView(view);
    for (int fd : {go[0], go[1], added[0], added[1]}) close(fd);
  }
}

// Where directories cannot be locked, the lock file alone orders the
// calls: a program that waited for a lock file removed meanwhile locks the
// file named now instead of trusting the old one.
TEST_F(ShareTest, ALockFileRemovedWhileAProgramWaitsIsNotTrusted) {
  const std::string lock = dir_.path() + "/ADDRBOOK.LCK";
  auto lockAsAnotherProgram = [&] {
    int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0644);
    struct flock exclusive = {};
    exclusive.l_type = F_WRLCK;
    exclusive.l_start = 0x40000000;
    exclusive.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &exclusive) == 0 ? fd : -1;
  };
  ovel::SimulateNoDirectoryLocks(true);
  Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
  const Bytes before = File();
  int first = lockAsAnotherProgram();
  ASSERT_GE(first, 0);
  int waiter = StartChild([&] {
    close(first);  // the lock goes with the last descriptor of its open file
    return OtherProgramChanges(dir_.path(), "Bo Bb", nullptr);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  unlink(lock.c_str());
  int second = lockAsAnotherProgram();  // a third program locks the new file
  close(first);                         // and the waiter has the old one
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(File(), before);
  close(second);
  EXPECT_EQ(WaitChild(waiter), 0);
  EXPECT_EQ(Fresh(), (std::vector<std::string>{"Ann Aa", "Bo Bb"}));
  ovel::SimulateNoDirectoryLocks(false);
}

TEST_F(ShareTest, ADirectoryThatCannotBeListedOrWrittenStillServes) {
  // May write and search but not list: the save cannot flush the directory
  // and succeeds all the same.
  chmod(dir_.path().c_str(), 0333);
  EXPECT_EQ(InChild(
                [&] {
                  Client* client = nullptr;
                  return OvelInitialize(&client, dir_.path().c_str()) &&
                         OvelAddItem(client, "Ann Aa", "a@x", nullptr) == 1 &&
                         OvelTerminate(client) == 1;
                },
                &kNobody),
            0);
  chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(File(), BookBytes(1).Plain(1, "Ann Aa", "a@x").bytes());

  // May read but not write, with no lock file made yet: the book loads and
  // walks; a change is refused.
  ScratchDir readOnly;
  WriteBytes(readOnly.BookFile(), File());
  chmod(readOnly.path().c_str(), 0555);
  EXPECT_EQ(InChild(
                [&] {
                  Client* client = nullptr;
                  if (!OvelInitialize(&client, readOnly.path().c_str())) return false;
                  ViewHandle view = OvelInitView(client, 1);
                  bool ok = ViewNames(view) == std::vector<std::string>{"Ann Aa"} &&
                            OvelAddItem(client, "B", "b", nullptr) == 0;
                  OvelFreeView(view);
                  return OvelTerminate(client) == 1 && ok;
                },
                &kNobody),
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

// Another program replaces the book file (written by another writer
// entirely) between what a view showed and the delete through it.
TEST_F(ShareTest, AStaleDeleteFindsWhatItShowedByContentOrDeletesNothing) {
  auto plain = [](const char* address, const char* comment = "") {
    return BookBytes(1).Plain(1, "Ann Lee", address, comment).bytes();
  };
  // "Aces" sorts first: the view deletes its index 0.
  const Bytes aces = BookBytes(2).Group(1, "Aces", {2}).Plain(2, "Ann Lee", "a@x").bytes();
  const struct {
    Bytes seen, other;  // the book the view read; what another program put in its place
    int result;
    std::vector<std::string> after;  // "name <address>", groups included
  } cases[] = {
      // Another address or comment: not the entry shown.
      {plain("old@x"), plain("new@x"), 1, {"Ann Lee <new@x>"}},
      {plain("a@x", "old"), plain("a@x", "new"), 1, {"Ann Lee <a@x>"}},
      // A group whose members changed is still the group.
      {aces,
       BookBytes(3)
           .Group(1, "Aces", {2, 3})
           .Plain(2, "Ann Lee", "a@x")
           .Plain(3, "Bo Ray", "b@x")
           .bytes(),
       1,
       {"Ann Lee <a@x>", "Bo Ray <b@x>"}},
      // Two groups the caller could tell apart: nothing is deleted.
      {aces,
       BookBytes(3).Group(1, "Aces", {3}).Group(2, "Aces", {}).Plain(3, "Ann Lee", "a@x").bytes(),
       0,
       {"Aces <<Group>>", "Aces <<Group>>", "Ann Lee <a@x>"}},
      // Of two equal entries one goes; an entry already gone is no failure.
      {plain("a@x"),
       BookBytes(2).Plain(1, "Ann Lee", "a@x").Plain(2, "Ann Lee", "a@x").bytes(),
       1,
       {"Ann Lee <a@x>"}},
      {plain("a@x"), BookBytes(1).Plain(1, "Bo Ray", "b@x").bytes(), 1, {"Bo Ray <b@x>"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Write(c.seen);
    ViewHandle view = OvelInitView(client_, 1);
    ASSERT_GT(OvelGetViewCount(view), 0);
    WriteBytes(dir_.path() + "/other.tmp", c.other);
    std::filesystem::rename(dir_.path() + "/other.tmp", dir_.BookFile());
    EXPECT_EQ(OvelDeleteViewItem(view, 0), c.result);
    if (c.result == 0) {  // the cause, and the book as the other program left it
      EXPECT_EQ(LastCause(), OVEL_CAUSE(ESTALE, ERROR_FILE_INVALID));
      EXPECT_EQ(File(), c.other);
    }
    std::vector<std::string> after;
    for (const Item& item : WalkView(view)) after.push_back(item.name + " <" + item.address + ">");
    EXPECT_EQ(after, c.after);
    OvelFreeView(view);
  }
}

// A view's indexes are those of the list it last showed: an item copied
// out of a list read since makes them that list's; a call that copies
// nothing out leaves them where they were.
TEST_F(ShareTest, AViewsIndexesAreThoseOfTheListItLastShowed) {
  for (bool copyOut : {false, true}) {
    SCOPED_TRACE(copyOut);
    Write(BookBytes(2).Plain(1, "Bo Bb", "b@x").Plain(2, "Cy Cc", "c@x"));
    ViewHandle view = OvelInitView(client_, 0);
    ASSERT_EQ(OvelGetViewCount(view), 2);
    // Another program adds Al before Bo; another view reads the new list.
    WriteBytes(dir_.path() + "/other.tmp", BookBytes(3)
                                               .Plain(1, "Al Aa", "a@x")
                                               .Plain(2, "Bo Bb", "b@x")
                                               .Plain(3, "Cy Cc", "c@x")
                                               .bytes());
    std::filesystem::rename(dir_.path() + "/other.tmp", dir_.BookFile());
    ASSERT_EQ(Fresh().size(), 3u);
    for (int index : {-1, 3}) EXPECT_EQ(OvelGetViewItem(view, index), nullptr);
    if (copyOut) OvelFreeItem(OvelGetViewItem(view, 0));  // Al
    EXPECT_EQ(OvelDeleteViewItem(view, 1), 1);            // index 1 showed Cy, or since the copy Bo
    EXPECT_EQ(Fresh(), (std::vector<std::string>{"Al Aa", copyOut ? "Cy Cc" : "Bo Bb"}));
    OvelFreeView(view);
  }
}

// Another program rewrites the file in place, keeping its size and putting
// its time back; the next change must see it, not write the old list back.
TEST_F(ShareTest, ARewriteInPlaceThatKeepsSizeAndTimeIsSeen) {
  Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
  ViewHandle view = OvelInitView(client_, 1);
  auto written = std::filesystem::last_write_time(dir_.BookFile());
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // change times tick coarsely
  Bytes other = BookBytes(1).Plain(1, "Bob Bb", "b@x").bytes();
  std::fstream(dir_.BookFile(), std::ios::in | std::ios::out | std::ios::binary)
      .write(reinterpret_cast<const char*>(other.data()), std::streamsize(other.size()));
  std::filesystem::last_write_time(dir_.BookFile(), written);
  ASSERT_EQ(OvelAddItem(client_, "Cy Cc", "c@x", nullptr), 1);
  EXPECT_EQ(Fresh(), (std::vector<std::string>{"Bob Bb", "Cy Cc"}));
  OvelFreeView(view);
}

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
  const std::vector<std::string> others{"OVL0A1B2.TXT", "OVLNOTES.TMP", "OVL0A1B.TMP",
                                        "OVL0A1B2X.TMP"};
#else
  const std::vector<std::string> leftovers{".ovelAb12Cd", ".ovelAb12Cdb"};
  // Names a user may give files of their own, near the library's.
  const std::vector<std::string> others{".ovel",         ".ovel-settings", ".ovelrc.bak",
                                        ".ovelAb12Cdx",  ".ovelAb12C",     ".ovelAb-2Cd",
                                        ".ovelAb12Cdbb", "notes.txt"};
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

// A lock file that is a second name of another file is never written
// through: the book reads, but a change fails and the other file keeps its
// bytes.
TEST_F(ShareTest, AHardLinkedLockFileIsNotWrittenThrough) {
  Write(BookBytes(1).Plain(1, "Ann Aa", "a@x"));
  const std::string other = dir_.path() + "/OTHER.TXT", lock = dir_.path() + "/ADDRBOOK.LCK";
  const Bytes text = {'k', 'e', 'e', 'p', ' ', 'm', 'e', ' ', 'a', 's', ' ', 'I', ' ', 'a', 'm'};
  WriteBytes(other, text);
  DeleteFileA(lock.c_str());
  ASSERT_TRUE(CreateHardLinkA(lock.c_str(), other.c_str(), nullptr));
  Bytes before = File();
  EXPECT_EQ(OvelAddItem(client_, "Bo Bb", "b@x", nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
  EXPECT_EQ(File(), before);
  EXPECT_EQ(ReadBytes(other), text);
  ViewHandle view = OvelInitView(client_, 0);
  EXPECT_EQ(OvelGetViewCount(view), 1);
  OvelFreeView(view);
}
#endif

}  // namespace
