// The book store: name keys, the exact bytes of the book file, loading
// books written by other programs, adding entries, and failures that must
// leave the book as it was.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#if defined(_WIN32)
#include <winerror.h>
#else
#include <errno.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include "frame/allocator.h"
#include "frame/client.h"
#include "frame/local_lock.h"
#include "store/entry.h"
#include "test_support.h"

using namespace ovel;
using namespace ovel_test;

namespace {

class StoreTest : public BookTest {
 protected:
  int Add(const char* name, const char* address, const char* comment = nullptr) {
    return OvelAddItem(client_, name, address, comment);
  }
  std::vector<Item> Items(bool groups = true) {
    ViewHandle view = OvelInitView(client_, groups);
    EXPECT_NE(view, nullptr);
    std::vector<Item> items = WalkView(view);
    OvelFreeView(view);
    return items;
  }
  std::vector<std::string> Listed(bool groups = true) { return Names(Items(groups)); }
  int16_t NextId() { return LocalLock<Book>(client_->book)->nextId; }
};

uint16_t Offset(const char* name) { return SurnameOffset(name); }

}  // namespace

TEST(NameKeys, SurnameOffsets) {
  EXPECT_EQ(Offset("John Smith"), 5);
  EXPECT_EQ(Offset("Mary van%Dyke"), 5);
  EXPECT_EQ(Offset("Smith"), 0);
  EXPECT_EQ(Offset("John Smith  "), 5);  // trailing spaces skipped, kept in the key
  EXPECT_EQ(Offset("John Smith%%"), 5);  // trailing "%" likewise
  EXPECT_EQ(Offset("Jones, Ann"), 7);
  EXPECT_EQ(Offset(" Smith"), 0);  // the first character is never examined
  EXPECT_EQ(Offset(""), 0);
  EXPECT_EQ(Offset(" "), 0);
  EXPECT_EQ(Offset("   "), 0);
  EXPECT_EQ(Offset("a b c"), 4);
}

TEST_F(StoreTest, WorkedExampleIsWrittenByteForByte) {
  ASSERT_EQ(Add("Ann Lee", "ann"), 1);
  EXPECT_EQ(File(), (Bytes{0x02, 0x01, 0x00, 0x01, 0x00, 0x07, 0x41, 0x6E, 0x6E, 0x20, 0x4C, 0x65,
                           0x65, 0x03, 0x61, 0x6E, 0x6E, 0x00}));
  EXPECT_EQ(dir_.Files(), std::vector<std::string>{"ADDRBOOK.DAT"});  // no temporary file left
}

TEST_F(StoreTest, NullAndEmptyCommentsAreStoredEmptyAndCommentsKept) {
  ASSERT_EQ(Add("A", "x", nullptr), 1);
  ASSERT_EQ(Add("B", "y", ""), 1);
  ASSERT_EQ(Add("C", "z", "note"), 1);
  EXPECT_EQ(File(),
            BookBytes(3).Plain(1, "A", "x").Plain(2, "B", "y").Plain(3, "C", "z", "note").bytes());
}

TEST_F(StoreTest, GroupRecordsAreWrittenWithTheirMembers) {
  Write(BookBytes(3)
            .Plain(5, "Ann Lee", "ann")
            .Group(9, "Pals", {5, 7}, "pals")
            .Plain(7, "Bob Ray", "bob")
            .bytes());
  ASSERT_EQ(Add("Cid Zed", "cid"), 1);
  // Ann Lee, Pals, Bob Ray, Cid Zed -> ids 1 to 4; Pals' members follow.
  EXPECT_EQ(File(), BookBytes(4)
                        .Plain(1, "Ann Lee", "ann")
                        .Group(2, "Pals", {1, 3}, "pals")
                        .Plain(3, "Bob Ray", "bob")
                        .Plain(4, "Cid Zed", "cid")
                        .bytes());
}

TEST_F(StoreTest, EntriesSortBySurnameWithoutRegardToCase) {
  ASSERT_EQ(Add("zed Adams", "a"), 1);
  ASSERT_EQ(Add("Al brown", "b"), 1);
  ASSERT_EQ(Add("Cher", "c"), 1);
  ASSERT_EQ(Add("Mary van%Dyke", "d"), 1);
  ASSERT_EQ(Add("Ann BROWNE", "e"), 1);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"zed Adams", "Al brown", "Ann BROWNE", "Cher",
                                                "Mary van Dyke"}));
  std::vector<Item> items = Items();
  EXPECT_EQ(items[4], (Item{0, 5, "Mary van Dyke", "d", ""}));
  // The file keeps the stored name, "%" and all.
  Bytes file = File();
  EXPECT_NE(std::search(file.begin(), file.end(), std::begin("van%Dyke"), std::end("van%Dyke") - 1),
            file.end());
}

TEST_F(StoreTest, NewEntryGoesBeforeItsEquals) {
  ASSERT_EQ(Add("Bob Brown", "b"), 1);
  ASSERT_EQ(Add("Al Brown", "a"), 1);
  ASSERT_EQ(Add("Cy brown", "c"), 1);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Cy brown", "Al Brown", "Bob Brown"}));
}

TEST_F(StoreTest, SortedFileKeepsFileOrderForEqualKeys) {
  Write(BookBytes(3)
            .Plain(1, "Zoe Brown", "z")
            .Plain(2, "Al Brown", "a")
            .Plain(3, "Cy Dane", "c")
            .bytes());
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Zoe Brown", "Al Brown", "Cy Dane"}));
}

TEST_F(StoreTest, DuplicatesAreKept) {
  ASSERT_EQ(Add("Al Brown", "a"), 1);
  ASSERT_EQ(Add("Al Brown", "a"), 1);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Al Brown", "Al Brown"}));
}

TEST_F(StoreTest, EmptyBookReadsAsEmptyAndIsCreatedByTheFirstAdd) {
  ViewHandle view = OvelInitView(client_, 1);
  EXPECT_EQ(OvelGetViewCount(view), 0);
  OvelFreeView(view);
  EXPECT_FALSE(FileExists(dir_.BookFile()));
  ASSERT_EQ(Add("Ann Lee", "ann"), 1);
  EXPECT_TRUE(FileExists(dir_.BookFile()));
}

TEST_F(StoreTest, MissingDirectoryIsAnEmptyBook) {
  Client* elsewhere = nullptr;
  std::string missing = dir_.path() + "/no/such/dir";
  ASSERT_EQ(OvelInitialize(&elsewhere, missing.c_str()), 1);
  ViewHandle view = OvelInitView(elsewhere, 1);
  EXPECT_EQ(OvelGetViewCount(view), 0);
  OvelFreeView(view);
  EXPECT_EQ(OvelAddItem(elsewhere, "A", "a", nullptr), 0);  // nowhere to save it
  OvelTerminate(elsewhere);
}

TEST_F(StoreTest, AddRefusesEmptyAndOverlongInputWithoutReadingTheFile) {
  Write(Bytes{0x07});  // unreadable: a read would fail the add for another reason
  Bytes before = File();
  std::string name24(24, 'n'), text255(255, 't');
  EXPECT_EQ(OvelAddItem(nullptr, "A", "a", nullptr), 0);
  EXPECT_EQ(Add(nullptr, "a"), 0);
  EXPECT_EQ(Add("", "a"), 0);
  EXPECT_EQ(Add("A", nullptr), 0);
  EXPECT_EQ(Add("A", ""), 0);
  EXPECT_EQ(Add((name24 + "n").c_str(), "a"), 0);
  EXPECT_EQ(Add("A", (text255 + "t").c_str()), 0);
  EXPECT_EQ(Add("A", "a", (text255 + "t").c_str()), 0);
  EXPECT_EQ(File(), before);
  EXPECT_EQ(LoadCount(), 0);

  std::remove(dir_.BookFile().c_str());
  ASSERT_EQ(Add(name24.c_str(), text255.c_str(), text255.c_str()), 1);
  EXPECT_EQ(Items(), (std::vector<Item>{{0, 0, name24, text255, text255}}));
}

// The 4095th entry is written and loads again; the 4096th is refused.
TEST_F(StoreTest, ABookTakesItsLastEntryAndRefusesAnother) {
  auto build = [](uint16_t count) {
    BookBytes book(count);
    for (uint16_t id = 1; id <= count; ++id) book.Plain(id, Numbered("N", 10000 + id), "a");
    return book;
  };
  Write(build(4094).bytes());
  ASSERT_EQ(Add("N14095", "a"), 1);
  EXPECT_EQ(File(), build(4095).bytes());
  Client* other = nullptr;
  ASSERT_EQ(OvelInitialize(&other, dir_.path().c_str()), 1);
  ViewHandle view = OvelInitView(other, 1);
  EXPECT_EQ(OvelGetViewCount(view), 4095);
  OvelFreeView(view);
  OvelTerminate(other);
  EXPECT_EQ(Add("One More", "a"), 0);
  EXPECT_EQ(LastCause(), OVEL_CAUSE(E2BIG, ERROR_FILE_TOO_LARGE));
  EXPECT_EQ(File(), build(4095).bytes());
  EXPECT_EQ(LoadCount(), 0);
}

TEST_F(StoreTest, EveryFailureSaysWhy) {
  int notAnything = 0;
  Client* notAClient = reinterpret_cast<Client*>(&notAnything);
  ViewHandle notAView = reinterpret_cast<ViewHandle>(&notAnything);
  const long kBadHandle = OVEL_CAUSE(EINVAL, ERROR_INVALID_HANDLE);
  const long kBadArgument = OVEL_CAUSE(EINVAL, ERROR_INVALID_PARAMETER);
  const long kMalformed = OVEL_CAUSE(EBADMSG, ERROR_FILE_CORRUPT);
  const Bytes book = BookBytes(2).Group(1, "Gone", {9}).Plain(2, "Ann Lee", "a@x").bytes();
  const std::string tooLong(5000, 'd');
  // Each call gives its failure result; clean-up calls of the test's own
  // keep the cause (on Windows a call that succeeds may set it).
  auto initialize = [&](const char* directory) {
    Client* c = nullptr;
    bool failed = !OvelInitialize(&c, directory);
    long cause = LastCause();
    if (directory && *directory) ProcessContextTerm();  // a failed initialization stays counted
    SetCause(cause);
    return failed;
  };
  auto noItemAt = [&](int index) {
    return AsProgram(dir_.path(),
                     [&](Client*, ViewHandle v) { return !OvelGetViewItem(v, index); });
  };
  auto readOnly = [&] {
    namespace fs = std::filesystem;  // on Windows: the read-only attribute
    fs::permissions(dir_.BookFile(), fs::perms::owner_write, fs::perm_options::remove);
    bool failed = !Add("A", "a");
    long cause = LastCause();
    fs::permissions(dir_.BookFile(), fs::perms::owner_write, fs::perm_options::add);
    SetCause(cause);
    return failed;
  };
#if !defined(_WIN32)
  // The directory's open for its flush and the flush itself (after the
  // file's flush, and the copy's where there are no hard links).
  auto failAt = [&](FaultPoint point, long nth, bool noLinks) {
    SimulateNoHardLinks(noLinks);
    FaultArm(point, nth);
    bool failed = !Add("A", "a");
    long cause = LastCause();
    FaultReset();
    SimulateNoHardLinks(false);
    SetCause(cause);
    return failed;
  };
#endif
  const struct {
    Bytes file;                  // the book file (empty: none)
    std::function<bool()> call;  // true when the call gave its failure result
    long cause;
  } cases[] = {
    {book, [&] { return !OvelAddItem(notAClient, "A", "a", nullptr); }, kBadHandle},
    {book, [&] { return !OvelTerminate(nullptr); }, kBadHandle},
    {book, [&] { return OvelGetViewCount(notAView) == -1; }, kBadHandle},
    {book, [&] { return !OvelDeleteViewItem(notAView, 0); }, kBadHandle},
    {book, [&] { return !OvelFreeView(notAView); }, kBadHandle},
    {book, [&] { return !Add("", "a"); }, kBadArgument},
    {book, [&] { return !Add("Abcdefghijklm Nopqrstuvwxyz", "a"); }, kBadArgument},
    {book, [&] { return initialize(nullptr) && initialize(""); }, kBadArgument},
    {book, [&] { return initialize((tooLong + "/" + tooLong).c_str()); },
     OVEL_CAUSE(ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE)},
    {book, [&] { return noItemAt(2) && noItemAt(-1); }, kBadArgument},
    {{0x03, 0x00, 0x00}, [&] { return !Add("A", "a"); }, kMalformed},
    {{0x02, 0x01, 0x00}, [&] { return !OvelInitView(client_, 1); }, kMalformed},
    {book, [&] { return !OvelExpandGroup(client_, "Nobody", 1); },
     OVEL_CAUSE(ENOENT, ERROR_NOT_FOUND)},
    {book, [&] { return !OvelExpandGroup(client_, "gone", 1); }, 0},  // no members: no failure
#if defined(_WIN32)
    {book, readOnly, ERROR_ACCESS_DENIED},  // (POSIX: RealFaults, as another user)
#else
    {book, [&] { return failAt(FaultPoint::kOpen, 2, false); }, EMFILE},
    {book, [&] { return failAt(FaultPoint::kFlush, 2, false); }, EIO},
    {book, [&] { return failAt(FaultPoint::kFlush, 3, true); }, EIO},
#endif
  };
  (void)readOnly;
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    std::remove(dir_.BookFile().c_str());
    if (!c.file.empty()) Write(c.file);
    EXPECT_TRUE(c.call());
    EXPECT_EQ(LastCause(), c.cause);
    EXPECT_TRUE(c.file.empty() || File() == c.file);
  }
}

#if !defined(_WIN32)
// Real faults of the system, each in a child process: the call fails with
// the system's cause, the book stays byte-identical and nothing is left.
TEST_F(StoreTest, RealFaultsFailTheCallWithTheSystemsCause) {
  BookBytes big(2000);
  for (uint16_t id = 1; id <= 2000; ++id) big.Plain(id, Numbered("Person P", 1000 + id), "p@x");
  const Bytes book = big.bytes();  // 46 KB
  const Bytes one = BookBytes(1).Plain(1, "Ann Aa", "a@x").bytes();
  auto add = [&] {
    return AsProgram(dir_.path(),
                     [](Client* c, ViewHandle) { return !OvelAddItem(c, "N", "n", 0); });
  };
  auto limitFileSize = [](rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {bytes, bytes};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
  };
  const struct {
    const Bytes& file;
    unsigned mode;
    const Identity* as;
    std::function<bool()> call;
    int cause;
  } cases[] = {
      // Another user's book, unreadable (as the owner when not root: mode 0).
      {book, IsRoot() ? 0600u : 0u, &kNobody,
       [&] { return AsProgram(dir_.path(), [](Client*, ViewHandle v) { return !v; }); }, EACCES},
      {book, 0444, &kNobody, add, EACCES},  // a book its owner made read-only
      // A file size limit below the book's size ...
      {book, 0644, nullptr, [&] { return limitFileSize(8192) && add(); }, EFBIG},
      // ... and below the count of saves, which marks the save under way
      // before the book (an empty one, 3 bytes) is written.
      {one, 0644, nullptr,
       [&] {
         return limitFileSize(4) && AsProgram(dir_.path(), [](Client*, ViewHandle v) {
                  return !OvelDeleteViewItem(v, 0);
                });
       },
       EFBIG},
  };
  chmod(dir_.path().c_str(), 0777);
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Write(c.file);
    chmod(dir_.BookFile().c_str(), c.mode);
    EXPECT_EQ(InChild([&] { return c.call() && errno == c.cause; }, c.as), 0);
    EXPECT_EQ(File(), c.file);
    EXPECT_EQ(dir_.Files(), std::vector<std::string>{"ADDRBOOK.DAT"});
  }

  // A full file system: a small tmpfs, which only root may mount.
  std::string small = dir_.path() + "/small";
  mkdir(small.c_str(), 0755);
  if (!IsRoot() || mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "no small file system: mounting one needs root";
  }
  WriteBytes(small + "/ADDRBOOK.DAT", book);
  EXPECT_TRUE(AsProgram(small, [](Client* client, ViewHandle view) {
    return !OvelAddItem(client, "New One", "n@x", nullptr) && errno == ENOSPC &&
           !OvelDeleteViewItem(view, 0) && errno == ENOSPC && OvelGetViewCount(view) == 2000;
  }));
  EXPECT_EQ(ReadBytes(small + "/ADDRBOOK.DAT"), book);
  std::vector<std::string> left;
  for (const auto& file : std::filesystem::directory_iterator(small))
    left.push_back(file.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"ADDRBOOK.DAT", "ADDRBOOK.LCK"}));
  umount(small.c_str());
}
#endif

TEST_F(StoreTest, MalformedFilesFailTheCallAndStayByteIdentical) {
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"empty file", {}},
      {"wrong format byte", {0x03, 0x00, 0x00}},
      {"short header", {0x02, 0x01}},
      {"count larger than the records", BookBytes(2).Plain(1, "A", "a").bytes()},
      {"record cut short",
       [] {
         Bytes b = BookBytes(1).Plain(1, "Ann", "ann").bytes();
         b.pop_back();
         return b;
       }()},
      {"name length past the end", Bytes{0x02, 0x01, 0x00, 0x01, 0x00, 0x09, 'A', 'n'}},
      {"member count past the end",
       Bytes{0x02, 0x01, 0x00, 0x01, 0x80, 0x01, 'G', 0x03, 0x01, 0x00}},
      {"id word cut", Bytes{0x02, 0x01, 0x00, 0x01}},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    Write(bytes);
    EXPECT_EQ(Add("New Entry", "x"), 0);
    EXPECT_EQ(OvelInitView(client_, 1), nullptr);
    EXPECT_EQ(OvelExpandGroup(client_, "G", 1), nullptr);
    EXPECT_EQ(File(), bytes);
    EXPECT_EQ(LoadCount(), 0);
  }
}

TEST_F(StoreTest, BookFileThatCannotBeOpenedIsNotAnEmptyBook) {
  std::filesystem::create_directory(dir_.BookFile());
  EXPECT_EQ(Add("New Entry", "x"), 0);
  EXPECT_EQ(OvelInitView(client_, 1), nullptr);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.BookFile()));
}

TEST_F(StoreTest, CountBitsAboveElevenAreIgnored) {
  Bytes bytes = BookBytes(1).Plain(1, "Ann Lee", "ann").bytes();
  bytes[2] |= 0xF0;
  Write(bytes);
  EXPECT_EQ(Listed(), std::vector<std::string>{"Ann Lee"});
}

TEST_F(StoreTest, TrailingBytesAreIgnoredAndGoneAfterTheNextSave) {
  Bytes bytes = BookBytes(1).Plain(1, "Ann Lee", "ann").bytes();
  Bytes withTrailer = bytes;
  withTrailer.insert(withTrailer.end(), {0xDE, 0xAD, 0xBE, 0xEF});
  Write(withTrailer);
  EXPECT_EQ(Listed(), std::vector<std::string>{"Ann Lee"});
  EXPECT_EQ(File(), withTrailer);  // reading writes nothing
  ASSERT_EQ(Add("Bo Zed", "bo"), 1);
  EXPECT_EQ(File(), BookBytes(2).Plain(1, "Ann Lee", "ann").Plain(2, "Bo Zed", "bo").bytes());
}

TEST_F(StoreTest, StringsOfEveryLengthAreWrittenBackExactly) {
  // Names, addresses and comments of every length from 0 to 255, each byte
  // telling its position, so that a copy that drops, repeats or moves a
  // byte shows.
  auto text = [](size_t length, int seed) {
    std::string s(length, ' ');
    for (size_t i = 0; i < length; ++i) s[i] = static_cast<char>('A' + (seed + 7 * i) % 58);
    return s;
  };
  auto build = [&](uint16_t count) {
    BookBytes book(count);
    for (uint16_t i = 0; i < 256; ++i) {
      std::string name = Numbered("", 100 + i) + text(i < 3 ? 0 : i - 3, i);
      book.Plain(static_cast<uint16_t>(i + 1), name, text(i, i + 1), text(255 - i, i + 2));
    }
    return book;
  };
  Write(build(256).bytes());
  ASSERT_EQ(Add("zz", "last"), 1);
  EXPECT_EQ(File(), build(257).Plain(257, "zz", "last").bytes());
}

TEST_F(StoreTest, OutOfOrderFileLoadsSortedAndIsSavedSorted) {
  // Once a record is out of order, later ones go before their equals.
  Write(BookBytes(5)
            .Plain(1, "Cy Carr", "c")
            .Plain(2, "Al Able", "a")
            .Plain(3, "Di Dunn", "d")
            .Plain(4, "Bo Carr", "b")
            .Plain(5, "Ed Able", "e")
            .bytes());
  EXPECT_EQ(Listed(),
            (std::vector<std::string>{"Ed Able", "Al Able", "Bo Carr", "Cy Carr", "Di Dunn"}));
  ASSERT_EQ(Add("Fay Zorn", "f"), 1);
  EXPECT_EQ(File(), BookBytes(6)
                        .Plain(1, "Ed Able", "e")
                        .Plain(2, "Al Able", "a")
                        .Plain(3, "Bo Carr", "b")
                        .Plain(4, "Cy Carr", "c")
                        .Plain(5, "Di Dunn", "d")
                        .Plain(6, "Fay Zorn", "f")
                        .bytes());
}

TEST_F(StoreTest, SaveRenumbersEntriesAndTheirGroupMembers) {
  // Ids 7, 3, 9 standing first, second and third; a group after them whose
  // members were 9 and 7.
  Write(BookBytes(4)
            .Plain(7, "A Aa", "a")
            .Plain(3, "B Bb", "b")
            .Plain(9, "C Cc", "c")
            .Group(1, "D Dd", {9, 7})
            .bytes());
  ASSERT_EQ(Add("E Ee", "e"), 1);
  EXPECT_EQ(File(), BookBytes(5)
                        .Plain(1, "A Aa", "a")
                        .Plain(2, "B Bb", "b")
                        .Plain(3, "C Cc", "c")
                        .Group(4, "D Dd", {3, 1})
                        .Plain(5, "E Ee", "e")
                        .bytes());
}

TEST_F(StoreTest, SaveDropsMembersThatNameNoEntry) {
  Write(BookBytes(3)
            .Plain(4, "A Aa", "a")
            .Plain(5, "B Bb", "b")
            .Group(6, "G Gg", {4, 12, 5})
            .bytes());
  ASSERT_EQ(Add("Z Zz", "z"), 1);
  EXPECT_EQ(File(), BookBytes(4)
                        .Plain(1, "A Aa", "a")
                        .Plain(2, "B Bb", "b")
                        .Group(3, "G Gg", {1, 2})
                        .Plain(4, "Z Zz", "z")
                        .bytes());
}

TEST_F(StoreTest, NewEntryNeverTakesTheIdOfALoadedOne) {
  // Records whose ids exceed the count: the next id must pass them, or the
  // new entry would take Bob's id and his membership with it.
  for (const BookBytes& book : {BookBytes(2).Plain(2, "Bob Bee", "b").Group(3, "Pals", {2}),
                                BookBytes(2).Plain(3, "Bob Bee", "b").Group(1, "Pals", {3})}) {
    Write(book);
    ASSERT_EQ(Add("Al Aa", "a"), 1);
    EXPECT_EQ(
        File(),
        BookBytes(3).Plain(1, "Al Aa", "a").Plain(2, "Bob Bee", "b").Group(3, "Pals", {2}).bytes());
    EXPECT_EQ(TakeMembers(OvelExpandGroup(client_, "pals", 0)),
              (std::vector<Item>{{0, 4, "Bob Bee", "b", ""}}));
  }
}

TEST_F(StoreTest, EntryListIsInMemoryOnlyWhileReferencesAreHeld) {
  ASSERT_EQ(Add("Ann Lee", "ann"), 1);
  EXPECT_EQ(LoadCount(), 0);  // loaded, changed, saved and freed within the call
  ViewHandle view = OvelInitView(client_, 1);
  EXPECT_EQ(LoadCount(), 1);
  ASSERT_EQ(Add("Bo Zed", "bo"), 1);
  EXPECT_EQ(LoadCount(), 1);
  EXPECT_EQ(OvelGetViewCount(view), 2);  // the view sees the new entry at once
  OvelFreeView(view);
  EXPECT_EQ(LoadCount(), 0);
  EXPECT_EQ(NextId(), 3);
}

TEST_F(StoreTest, EveryFailureOfAnAddLeavesTheBookAsItWas) {
  Write(BookBytes(3)
            .Plain(4, "Ann Lee", "ann")
            .Group(9, "Pals", {4, 7})
            .Plain(7, "Bob Ray", "bob")
            .bytes());
  // With and without a view; on a file system with hard links and on one
  // without, where the old book is copied aside during the replace.
  for (int round = 0; round < 4; ++round) {
    bool viewOpen = round % 2 == 1, noLinks = round >= 2;
    SCOPED_TRACE(std::string(viewOpen ? "with a view open" : "with no view open") +
                 (noLinks ? ", no hard links" : ""));
    SimulateNoHardLinks(noLinks);
    ViewHandle view = viewOpen ? OvelInitView(client_, 1) : nullptr;
    int added = 0;
    long swept = SweepFaults(
        [&] {
          Bytes before = File();
          long blocks = LiveBlocks();
          std::string name = Numbered("New", added) + " Entry";
          bool ok = Add(name.c_str(), "addr", "note") == 1;
          if (ok) {
            ++added;
          } else {
            EXPECT_NE(LastCause(), 0);
            EXPECT_EQ(File(), before);
            EXPECT_EQ(LiveBlocks(), blocks);
            EXPECT_EQ(dir_.Files(), std::vector<std::string>{"ADDRBOOK.DAT"});
          }
          return ok;
        },
        [&](bool succeeded, long point) {
          EXPECT_EQ(succeeded, point == 0) << "fault point " << point;
        });
    SimulateNoHardLinks(false);
    // The new entry, the save and its file operations; the copy's too.
#if defined(_WIN32)
    const long copyPoints = 0;  // one move replaces the book
#else
    const long copyPoints = noLinks ? 3 : 0;  // read, write, flush
#endif
    EXPECT_GE(swept, (viewOpen ? 6 : 10) + copyPoints);
    EXPECT_EQ(added, 1);
    if (view) {
      EXPECT_EQ(OvelGetViewCount(view), 3 + round + 1);
      OvelFreeView(view);
    }
  }
  EXPECT_EQ(Listed(), (std::vector<std::string>{"New0 Entry", "New0 Entry", "New0 Entry",
                                                "New0 Entry", "Ann Lee", "Pals", "Bob Ray"}));
  // A failed save gave the entries in memory their old ids back: the group
  // still names its members.
  EXPECT_EQ(Names(TakeMembers(OvelExpandGroup(client_, "Pals", 0))),
            (std::vector<std::string>{"Ann Lee", "Bob Ray"}));
}

// Many changes, one save: kept whole or discarded whole; meanwhile the
// book's other Clients read the changed list and cannot change it.
TEST_F(StoreTest, ATransactionSavesItsChangesOnceOrNotAtAll) {
  Write(BookBytes(4)
            .Plain(1, "Ann Aa", "a@x")
            .Plain(2, "Bo Bb", "b@x")
            .Plain(3, "Cy Cc", "c@x")
            .Group(4, "Pals", {1, 2}));
  const Bytes before = File();
  Client* other = nullptr;
  ASSERT_EQ(OvelInitialize(&other, dir_.path().c_str()), 1);
  ViewHandle view = OvelInitView(client_, 0);
  for (int keep : {0, 1}) {
    SCOPED_TRACE(keep);
    ASSERT_EQ(OvelBeginChanges(client_), 1);
    EXPECT_EQ(OvelBeginChanges(client_) + OvelBeginChanges(other), 0);  // one at a time
    EXPECT_EQ(Add("Dee Dd", "d@x"), 1);
    EXPECT_EQ(Add("", "x"), 0);                 // refused; the others stay
    EXPECT_EQ(OvelDeleteViewItem(view, 2), 1);  // Cy
    EXPECT_EQ(OvelDeleteViewItem(view, 0), 1);  // Ann
    EXPECT_EQ(File(), before);
    EXPECT_EQ(OvelAddItem(other, "Ed Ee", "e@x", nullptr), 0);
    EXPECT_EQ(LastCause(), OVEL_CAUSE(EBUSY, ERROR_LOCK_VIOLATION));
    EXPECT_EQ(Names(TakeMembers(OvelExpandGroup(other, "pals", 0))),
              std::vector<std::string>{"Bo Bb"});
    EXPECT_EQ(OvelEndChanges(client_, keep), 1) << "cause " << LastCause();
    EXPECT_EQ(File(), keep ? BookBytes(3)
                                 .Plain(1, "Bo Bb", "b@x")
                                 .Plain(2, "Dee Dd", "d@x")
                                 .Group(3, "Pals", {1})
                                 .bytes()
                           : before);
    EXPECT_EQ(ViewNames(view), (keep ? std::vector<std::string>{"Bo Bb", "Dee Dd"}
                                     : std::vector<std::string>{"Ann Aa", "Bo Bb", "Cy Cc"}));
  }
  EXPECT_EQ(OvelEndChanges(client_, 1), 0);  // none is open
  // A Client closed inside its transaction discards it.
  ASSERT_EQ(OvelBeginChanges(other), 1);
  ASSERT_EQ(OvelAddItem(other, "Ed Ee", "e@x", nullptr), 1);
  EXPECT_EQ(OvelTerminate(other), 1);
  EXPECT_EQ(ViewNames(view), (std::vector<std::string>{"Bo Bb", "Dee Dd"}));
  EXPECT_EQ(Add("Fay Ff", "f@x"), 1);
  EXPECT_EQ(Listed(false), (std::vector<std::string>{"Bo Bb", "Dee Dd", "Fay Ff"}));
  OvelFreeView(view);
}

// A transaction that ends unsaved (discarded, or its save failed) leaves
// no view showing its changes: views show the file, or where another
// program that ignores the lock left it unreadable, nothing until it can be
// read again.  (Each case runs as a program of its own where the system
// gives a real fault: a file size limit, another user's read-only book.)
TEST_F(StoreTest, AnUnsavedTransactionNeverStaysInView) {
  BookBytes book(300);
  for (uint16_t id = 1; id <= 300; ++id) book.Plain(id, Numbered("Person P", 1000 + id), "p@x");
  const Bytes original = book.bytes();  // 6 KB
  const Bytes damaged(original.begin(), original.begin() + 100);
  // Another program's file, written beforehand (a size limit may forbid
  // writing it then), put in the book's place.
  namespace fs = std::filesystem;
  auto stage = [&](const char* name, const Bytes& bytes, bool readOnly) {
    WriteBytes(dir_.path() + name, bytes);
    if (readOnly)
      fs::permissions(dir_.path() + name, fs::perms::owner_write, fs::perm_options::remove);
  };
  auto put = [&](const char* name) {
    std::error_code error;  // Windows replaces no read-only file
    fs::permissions(dir_.BookFile(), fs::perms::owner_write, fs::perm_options::add, error);
    fs::rename(dir_.path() + name, dir_.BookFile(), error);
    return !error;
  };
  const struct {
    int keep;
    bool damage, readOnly, sizeLimit;
    long endCause;  // 0: OvelEndChanges returns 1
  } cases[] = {
    {0, true, false, false, 0},
    {0, false, false, false, 0},
    {1, true, true, false, OVEL_CAUSE(EACCES, ERROR_ACCESS_DENIED)},
#if !defined(_WIN32)
    {1, false, false, true, EFBIG},
    {1, true, false, true, EFBIG},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    std::remove(dir_.BookFile().c_str());
    std::remove((dir_.path() + "/ADDRBOOK.LCK").c_str());
    Write(original);
    if (c.damage) {
      stage("/damaged", damaged, c.readOnly);
      stage("/original", original, false);
    }
    auto run = [&] {
      return AsProgram(dir_.path(), [&](Client* client, ViewHandle view) {
        bool ok = OvelBeginChanges(client) && OvelAddItem(client, "Al Aa", "a@x", nullptr) &&
                  OvelAddItem(client, "Zed Zz", "z@x", nullptr) && OvelGetViewCount(view) == 302;
        ok = ok && (!c.damage || put("/damaged"));
        int ended = OvelEndChanges(client, c.keep);
        ok = ok && (c.endCause ? !ended && LastCause() == c.endCause : ended == 1);
        if (c.damage) {
          const long kMalformed = OVEL_CAUSE(EBADMSG, ERROR_FILE_CORRUPT);
          ok = ok && OvelGetViewCount(view) == -1 && LastCause() == kMalformed &&
               !OvelGetViewItem(view, 0) && LastCause() == kMalformed;
          ok = put("/original") && ok;  // readable again: the view shows the file
        }
        return ok && OvelGetViewCount(view) == 300 && ViewNames(view).back() == "Person P1300";
      });
    };
#if defined(_WIN32)
    EXPECT_TRUE(run());
#else
    chmod(dir_.path().c_str(), 0777);
    EXPECT_EQ(InChild(
                  [&] {
                    signal(SIGXFSZ, SIG_IGN);
                    struct rlimit limit = {4096, 4096};
                    return (!c.sizeLimit || setrlimit(RLIMIT_FSIZE, &limit) == 0) && run();
                  },
                  c.readOnly ? &kNobody : nullptr),
              0);
#endif
    EXPECT_EQ(File(), original);
  }
}

// Ids grow within a transaction; past their 14 bits a new entry would take
// the id a group names.  Adds are refused before that.
TEST_F(StoreTest, ALongTransactionNeverReusesAnId) {
  Write(BookBytes(2).Plain(1, "Ann Zz", "a@x").Group(2, "Pals", {1}));
  ViewHandle view = OvelInitView(client_, 1);
  ASSERT_EQ(OvelBeginChanges(client_), 1);
  int added = 0;
  for (int i = 0; i < 17000 && Add("Aa Aa", "new@x"); ++i, ++added) OvelDeleteViewItem(view, 0);
  EXPECT_EQ(LastCause(), OVEL_CAUSE(E2BIG, ERROR_FILE_TOO_LARGE));
  EXPECT_GT(added, 16000);
  EXPECT_EQ(OvelEndChanges(client_, 1), 1);
  EXPECT_EQ(Names(TakeMembers(OvelExpandGroup(client_, "Pals", 0))),
            std::vector<std::string>{"Ann Zz"});
  OvelFreeView(view);
}

// A fault at every point of the final save: 0, the file byte-identical and
// the list (as a view shows it) the file's.
TEST_F(StoreTest, ATransactionWhoseSaveFailsChangesNothing) {
  Write(BookBytes(2).Plain(1, "Ann Aa", "a@x").Group(2, "Pals", {1}));
  ViewHandle view = OvelInitView(client_, 1);
  for (long point = 1;; ++point) {
    const Bytes before = File();
    const std::vector<std::string> names = ViewNames(view);
    ASSERT_EQ(OvelBeginChanges(client_), 1);
    ASSERT_EQ(Add(Numbered("New N", point).c_str(), "n@x") + OvelDeleteViewItem(view, 0), 2);
    FaultReset();
    FaultArmAny(point);
    int ended = OvelEndChanges(client_, 1);
    bool reached = FaultCallsAll() >= point;
    FaultReset();
    if (!reached) {
      EXPECT_EQ(ended, 1);
      EXPECT_GT(point, 6);  // allocations, create, write, flush, rename, directory flush
      break;
    }
    EXPECT_EQ(ended, 0) << "fault point " << point;
    EXPECT_NE(LastCause(), 0);
    EXPECT_EQ(File(), before);
    EXPECT_EQ(ViewNames(view), names);
    EXPECT_EQ(dir_.Files(), std::vector<std::string>{"ADDRBOOK.DAT"});
  }
  OvelFreeView(view);
}

TEST_F(StoreTest, OutOfOrderLoadMatchesInsertingEachRecordInTurn) {
  // The model: each record appended while the input is in order; once not,
  // every later record inserted before the first entry whose key is not
  // smaller.  Keys are few, so equal keys abound.
  std::mt19937 random(99);
  const char* surnames[] = {"able", "Able", "baker", "Carr", "carr", "Dunn"};
  for (int round = 0; round < 40; ++round) {
    int count = 1 + static_cast<int>(random() % 30);
    BookBytes book(static_cast<uint16_t>(count));
    std::vector<std::pair<std::string, std::string>> model;  // key, name
    bool inOrder = true;
    for (int i = 0; i < count; ++i) {
      std::string key = surnames[random() % 6];
      std::string name = Numbered("N", i) + " " + key;
      book.Plain(static_cast<uint16_t>(i + 1), name, "a");
      auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return s;
      };
      if (model.empty() || (inOrder && lower(model.back().first) <= lower(key))) {
        model.push_back({key, name});
        continue;
      }
      inOrder = false;
      auto at = model.begin();
      while (at != model.end() && lower(at->first) < lower(key)) ++at;
      model.insert(at, {key, name});
    }
    Write(book.bytes());
    std::vector<std::string> expected;
    for (const auto& [key, name] : model) expected.push_back(name);
    ASSERT_EQ(Listed(), expected) << "round " << round;
  }
}

// Adds in a row search from anchors, not from the list's head: each must
// still land before the first entry whose key is not smaller, as a walk
// from the head finds, while deletes, a discarded transaction and a
// reload change the list under the anchors.
TEST_F(StoreTest, ManyAddsInARowGoWhereAWalkFromTheHeadPutsThem) {
  const char* keys[] = {"able", "Able", "ab", "abc", "baker", "Carr", "carr", "Dunn", "dunne", "e"};
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const struct {
    int adds, keyCount, deleteEvery;
    bool transaction, keep;
  } cases[] = {
      {700, 10, 0, true, true},  {700, 3, 0, true, true},    {500, 10, 7, true, true},
      {400, 10, 0, true, false}, {100, 10, 20, false, true},
  };
  std::mt19937 random(29);
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    std::remove(dir_.BookFile().c_str());
    std::vector<std::pair<std::string, std::string>> model;  // key, name
    ViewHandle view = OvelInitView(client_, 1);
    if (c.transaction) {
      ASSERT_EQ(OvelBeginChanges(client_), 1);
    }
    for (int i = 0; i < c.adds; ++i) {
      std::string key = keys[random() % c.keyCount];
      std::string name = Numbered("N", i) + " " + key;
      ASSERT_EQ(Add(name.c_str(), "a"), 1);
      auto at = model.begin();
      while (at != model.end() && lower(at->first) < lower(key)) ++at;
      model.insert(at, {key, name});
      if (c.deleteEvery && i % c.deleteEvery == c.deleteEvery - 1) {
        size_t index = random() % model.size();
        ASSERT_EQ(OvelDeleteViewItem(view, static_cast<int>(index)), 1);
        model.erase(model.begin() + static_cast<long>(index));
      }
    }
    std::vector<std::string> expected;
    for (const auto& [key, name] : model) expected.push_back(name);
    EXPECT_EQ(ViewNames(view), expected);
    if (c.transaction) {
      ASSERT_EQ(OvelEndChanges(client_, c.keep), 1);
    }
    if (!c.keep) expected.clear();
    // After the save or the discard, adds search the list as it is now.
    ASSERT_EQ(Add("Zed ab", "z"), 1);
    ASSERT_EQ(Add("Ann zz", "a"), 1);
    auto before = std::find_if(expected.begin(), expected.end(), [&](const std::string& n) {
      return lower(n.substr(n.rfind(' ') + 1)) >= "ab";
    });
    expected.insert(before, "Zed ab");
    expected.push_back("Ann zz");
    EXPECT_EQ(Listed(), expected);
    OvelFreeView(view);
  }
}

#if !defined(_WIN32)
TEST_F(StoreTest, SaveKeepsWhoMayReadTheBook) {
  ASSERT_EQ(Add("Ann Lee", "ann"), 1);
  namespace fs = std::filesystem;
  // A mode the new file would not have by itself.
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read;
  fs::permissions(dir_.BookFile(), mode);
  ASSERT_EQ(Add("Bo Zed", "bo"), 1);
  EXPECT_EQ(fs::status(dir_.BookFile()).permissions(), mode);
}
#endif
