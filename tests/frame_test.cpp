// The library frame: record chains, process counting, the allocator, and
// Clients sharing Books.
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/allocator.h"
#include "frame/client.h"
#include "frame/local_lock.h"
#include "frame/record_chain.h"
#include "test_support.h"

#if defined(_WIN32)
#include <windows.h>
#endif

using namespace ovel;
using namespace ovel_test;

namespace {

class FrameTest : public LeakCheckedTest {};

struct NumberRecord {
  ChainLink link;
  int number;
};

LocalRef PushNumbered(RecordChain* chain, int number) {
  LocalRef handle = ChainPush(chain, sizeof(NumberRecord));
  if (handle) ovel::LocalLock<NumberRecord>(handle)->number = number;
  return handle;
}

std::vector<int> ChainNumbers(RecordChain chain) {
  std::vector<int> numbers;
  for (LocalRef handle = chain; handle;) {
    ovel::LocalLock<NumberRecord> record(handle);
    numbers.push_back(record->number);
    handle = record->link.next;
  }
  return numbers;
}

// The Book record behind a Client, read under a lock.
std::string BookPathOf(Client* client) {
  ovel::LocalLock<Book> book(client->book);
  return book->path;
}

std::string BookKeyOf(Client* client) {
  ovel::LocalLock<Book> book(client->book);
  return book->key;
}

int ClientCountOf(Client* client) {
  ovel::LocalLock<Book> book(client->book);
  return book->clientCount;
}

Client* Open(const std::string& directory) {
  Client* client = nullptr;
  EXPECT_EQ(OvelInitialize(&client, directory.c_str()), 1) << directory;
  return client;
}

std::string CurrentDirectory() {
  std::string path = std::filesystem::current_path().string();
#if defined(_WIN32)
  for (char& c : path) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
#endif
  return path;
}

const std::string kSep(1, kPathSeparator);

}  // namespace

TEST_F(FrameTest, ChainRemovesHeadMiddleAndLastLeavingTheRestFindable) {
  RecordChain chain = 0;
  LocalRef first = PushNumbered(&chain, 1);
  LocalRef second = PushNumbered(&chain, 2);
  LocalRef third = PushNumbered(&chain, 3);
  LocalRef fourth = PushNumbered(&chain, 4);
  EXPECT_EQ(ChainNumbers(chain), (std::vector<int>{4, 3, 2, 1}));  // newest first

  EXPECT_TRUE(ChainRemove(&chain, third));  // middle
  EXPECT_EQ(ChainNumbers(chain), (std::vector<int>{4, 2, 1}));
  EXPECT_TRUE(ChainRemove(&chain, fourth));  // head
  EXPECT_EQ(ChainNumbers(chain), (std::vector<int>{2, 1}));
  EXPECT_TRUE(ChainRemove(&chain, first));  // last
  EXPECT_EQ(ChainNumbers(chain), (std::vector<int>{2}));

  for (LocalRef removed : {first, third, fourth}) {
    EXPECT_EQ(ChainFindBySelf(chain, removed), 0u);
    EXPECT_FALSE(ChainRemove(&chain, removed));
  }
  EXPECT_EQ(ChainFindBySelf(chain, second), second);
  EXPECT_EQ(ChainNumbers(chain), (std::vector<int>{2}));
  EXPECT_TRUE(ChainRemove(&chain, second));
  EXPECT_EQ(chain, 0u);
}

TEST_F(FrameTest, ChainPushThatFailsChangesNothing) {
  RecordChain chain = 0;
  LocalRef only = PushNumbered(&chain, 7);
  FaultArm(FaultPoint::kLocalAlloc, 1);
  EXPECT_EQ(ChainPush(&chain, sizeof(NumberRecord)), 0u);
  EXPECT_EQ(chain, only);
  EXPECT_EQ(ChainNumbers(chain), (std::vector<int>{7}));
  ChainRemove(&chain, only);
}

TEST_F(FrameTest, StaleHandleIsNotFoundEvenWhenItsMemoryIsReused) {
  RecordChain chain = 0;
  LocalRef old = PushNumbered(&chain, 1);
  ASSERT_TRUE(ChainRemove(&chain, old));
  LocalRef fresh = PushNumbered(&chain, 2);
  EXPECT_EQ(ChainFindBySelf(chain, old), old == fresh ? old : 0u);
#if !defined(_WIN32)
  EXPECT_NE(old, fresh);  // the generation changed
  EXPECT_EQ(PlatformLocalLock(old), nullptr);
#endif
  ChainRemove(&chain, fresh);
}

TEST_F(FrameTest, ProcessStaysCountedUntilItsLastTerminate) {
  ScratchDir dir;
  EXPECT_FALSE(ProcessContextExists());
  Client* first = Open(dir.path());
  Client* second = Open(dir.path());
  EXPECT_EQ(OvelTerminate(first), 1);
  EXPECT_TRUE(ProcessContextExists());
  void* block = AllocBlock(16);
  EXPECT_NE(block, nullptr);
  FreeBlock(block);
  EXPECT_EQ(OvelTerminate(second), 1);
  EXPECT_FALSE(ProcessContextExists());
  EXPECT_EQ(AllocBlock(16), nullptr);
}

TEST_F(FrameTest, AllocatorEdges) {
  EXPECT_EQ(AllocBlock(16), nullptr);  // not counted in
  FreeBlock(nullptr);
  ProcessContextInit();
  EXPECT_EQ(AllocBlock(0), nullptr);
  char* empty = DupString("");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], '\0');
  EXPECT_EQ(DupString(nullptr), nullptr);
  unsigned char* block = static_cast<unsigned char*>(AllocBlock(300));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(block[i], 0);
  // More than a 16-bit size: never shorter than asked.
  char* large = static_cast<char*>(AllocBlock(70000));
  ASSERT_NE(large, nullptr);
  large[69999] = 'x';
  FreeBlock(large);
  FreeBlock(block);
  FreeBlock(empty);
  ProcessContextTerm();
  EXPECT_FALSE(ProcessContextExists());
}

TEST_F(FrameTest, InitializeRefusesMissingArguments) {
  Client* client = reinterpret_cast<Client*>(&client);
  EXPECT_EQ(OvelInitialize(&client, nullptr), 0);
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(OvelInitialize(nullptr, "."), 0);
  EXPECT_FALSE(ProcessContextExists());
}

TEST_F(FrameTest, TerminateRefusesWhatIsNotAnOpenClient) {
  ScratchDir dir;
  EXPECT_EQ(OvelTerminate(nullptr), 0);
  Client* client = Open(dir.path());
  Client* other = Open(dir.path());
  EXPECT_EQ(OvelTerminate(client), 1);
  EXPECT_EQ(OvelTerminate(client), 0);  // a second terminate frees nothing twice
  char notAClient[sizeof(Client)] = {};
  EXPECT_EQ(OvelTerminate(reinterpret_cast<Client*>(notAClient)), 0);
  EXPECT_EQ(ClientCountOf(other), 1);
  EXPECT_EQ(OvelTerminate(other), 1);
}

TEST_F(FrameTest, ClientsOfOneDirectoryShareOneBook) {
  ScratchDir dir;
  std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::filesystem::create_directory("books");
  Client* relative = Open("books");
  Client* trailing = Open("books" + kSep);
  Client* dotted = Open("." + kSep + "books" + kSep + "x" + kSep + "..");
  Client* absolute = Open(dir.path() + kSep + "books");
  std::filesystem::current_path(saved);

  EXPECT_EQ(relative->book, trailing->book);
  EXPECT_EQ(relative->book, dotted->book);
  EXPECT_EQ(relative->book, absolute->book);
  EXPECT_EQ(ClientCountOf(relative), 4);
  std::string expected = (std::filesystem::path(dir.path()) / "books").string() + kSep;
  EXPECT_EQ(BookPathOf(relative), expected);  // the file is named as the caller spelt it
#if defined(_WIN32)
  for (char& c : expected) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
#endif
  EXPECT_EQ(BookKeyOf(relative), expected);

  OvelTerminate(trailing);
  OvelTerminate(dotted);
  EXPECT_EQ(ClientCountOf(relative), 2);
  OvelTerminate(relative);
  OvelTerminate(absolute);
}

TEST_F(FrameTest, LastClientTakesItsBookAlongAndANewOneStartsFresh) {
  ScratchDir dir;
  Client* first = Open(dir.path());
  LocalRef firstBook = first->book;
  OvelTerminate(first);
  EXPECT_EQ(ChainFindBySelf(gBookChain, firstBook), 0u);
  Client* again = Open(dir.path());
  EXPECT_EQ(ClientCountOf(again), 1);
  {
    ovel::LocalLock<Book> book(again->book);
    EXPECT_EQ(book->nextId, 1);
    EXPECT_EQ(book->loadCount, 0);
  }
  OvelTerminate(again);
}

TEST_F(FrameTest, DirectoriesDifferingInCaseShareABookOnlyOnWindows) {
  ScratchDir dir;
  Client* lower = Open(dir.path() + kSep + "books");
  Client* upper = Open(dir.path() + kSep + "BOOKS");
#if defined(_WIN32)
  EXPECT_EQ(lower->book, upper->book);
#else
  EXPECT_NE(lower->book, upper->book);
#endif
  OvelTerminate(lower);
  OvelTerminate(upper);
}

TEST_F(FrameTest, RootDirectoryKeepsItsSeparatorAndGainsASecond) {
#if defined(_WIN32)
  std::string root = CurrentDirectory().substr(0, 3);  // "C:\"
#else
  std::string root = "/";
#endif
  Client* client = Open(root);
  EXPECT_EQ(BookPathOf(client), root + kSep);
  OvelTerminate(client);
}

TEST_F(FrameTest, DirectoryMustFitThePathLimitWithTheBookFileName) {
  // Nothing tests the directory itself, so it need not exist.
  std::string base = CurrentDirectory();
  if (base.back() != kPathSeparator) base += kSep;
  // The stored path is the directory, a separator, and room for
  // "ADDRBOOK.DAT" and the terminator.
  size_t longest = kPathMax - 1 - 12 - 1;
  ASSERT_LT(base.size(), longest);
  std::string fits = base + std::string(longest - base.size(), 'd');
  std::string tooLong = fits + "e";
  Client* client = nullptr;
  ASSERT_EQ(OvelInitialize(&client, fits.c_str()), 1);
  EXPECT_EQ(BookPathOf(client).size(), longest + 1);
  OvelTerminate(client);

  client = reinterpret_cast<Client*>(&client);
  EXPECT_EQ(OvelInitialize(&client, tooLong.c_str()), 0);
  EXPECT_EQ(client, nullptr);
  std::string huge(3 * kPathMax, 'h');
  EXPECT_EQ(OvelInitialize(&client, huge.c_str()), 0);
  EXPECT_EQ(client, nullptr);
  // Failed initializations stay counted; count them out again.
  while (ProcessContextExists()) ProcessContextTerm();
}

TEST_F(FrameTest, InitializeFailsCleanlyAtEveryAllocation) {
  ScratchDir dir;
  long swept = SweepFaults(
      [&] {
        Client* client = reinterpret_cast<Client*>(&client);
        int result = OvelInitialize(&client, dir.path().c_str());
        EXPECT_EQ(result == 1, client != nullptr);
        if (result) OvelTerminate(client);
        // A failed initialization stays counted when its context was made.
        while (ProcessContextExists()) ProcessContextTerm();
        return result == 1;
      },
      [&](bool succeeded, long point) {
        EXPECT_EQ(succeeded, point == 0) << "fault point " << point;
        EXPECT_EQ(gBookChain, 0u);
      });
  EXPECT_GE(swept, 4);  // context, Client, scratch area, Book
}

TEST_F(FrameTest, FailedInitializationStaysCounted) {
  ScratchDir dir;
  Client* client = nullptr;
  FaultArm(FaultPoint::kBlockAlloc, 1);  // the Client
  EXPECT_EQ(OvelInitialize(&client, dir.path().c_str()), 0);
  EXPECT_EQ(client, nullptr);
  EXPECT_TRUE(ProcessContextExists());
  Client* open = Open(dir.path());
  OvelTerminate(open);
  EXPECT_TRUE(ProcessContextExists());  // the failed call is never matched
  ProcessContextTerm();
  EXPECT_FALSE(ProcessContextExists());
}

// The lock file keeps the count of saves in its first eight bytes, least
// significant first, whichever system wrote it; a new, empty lock file
// counts none.
TEST_F(FrameTest, LockFileKeepsTheSaveCountLeastSignificantByteFirst) {
  ScratchDir dir;
  const std::string directory = dir.path() + kSep;
  const std::string lockFile = directory + "ADDRBOOK.LCK";
  BookLock lock;
  ASSERT_TRUE(PlatformLock(directory.c_str(), lockFile.c_str(), dir.BookFile().c_str(),
                           LockMode::kExclusive, true, &lock));
  uint64_t count = 1;
  EXPECT_TRUE(PlatformReadLockCount(lock, &count));
  EXPECT_EQ(count, 0u);
  const struct {
    uint64_t count;
    Bytes bytes;
  } kCases[] = {
      {2, {2, 0, 0, 0, 0, 0, 0, 0}},
      {0x0102030405060708, {8, 7, 6, 5, 4, 3, 2, 1}},
      {0xFFFFFFFFFFFFFFFF, {255, 255, 255, 255, 255, 255, 255, 255}},
      {0, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : kCases) {
    ASSERT_TRUE(PlatformWriteLockCount(lock, c.count));
    EXPECT_EQ(ReadBytes(lockFile), c.bytes) << c.count;
    count = ~c.count;
    EXPECT_TRUE(PlatformReadLockCount(lock, &count));
    EXPECT_EQ(count, c.count);
  }
  PlatformUnlock(&lock);
}

#if defined(_WIN32)
// Directory names in a double-byte code page (932, Japanese): run with
// OVEL_CODE_PAGE=932 and a locale that makes it the ANSI code page.
TEST_F(FrameTest, DoubleByteDirectoryNamesKeepTheirTrailBytes) {
  const char* wanted = getenv("OVEL_CODE_PAGE");
  if (!wanted || GetACP() != static_cast<UINT>(atoi(wanted))) {
    if (wanted) FAIL() << "the ANSI code page is " << GetACP() << ", not " << wanted;
    GTEST_SKIP() << "needs OVEL_CODE_PAGE=932 and a Japanese locale";
  }
  ScratchDir dir;
  std::string base = dir.path() + "\\";
  const std::string so = base + "\x83\x5C";        // ソ: its trail byte is a backslash
  const std::string di = base + "abc\x83\x61";     // ヂ: its trail byte is 'a'
  const std::string decoy = base + "abc\x83\x41";  // ア: what byte-wise upper casing makes of it
  for (const std::string& made : {so, di, decoy})
    ASSERT_TRUE(CreateDirectoryA(made.c_str(), nullptr)) << made << " " << GetLastError();
  auto bookIn = [](const std::string& directory) {
    return GetFileAttributesA((directory + "\\ADDRBOOK.DAT").c_str()) != INVALID_FILE_ATTRIBUTES;
  };

  for (const std::string& spelling : {so, so + "\\"}) {
    Client* client = Open(spelling);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(BookPathOf(client), so + "\\");
    OvelTerminate(client);
  }
  Client* client = Open(so);
  ASSERT_EQ(OvelAddItem(client, "Ann Lee", "ann@x", nullptr), 1);
  EXPECT_TRUE(bookIn(so));
  OvelTerminate(client);

  Client* lower = Open(di);
  Client* upper = Open(base + "ABC\x83\x61");  // differs in ASCII case only
  EXPECT_EQ(lower->book, upper->book);
  ASSERT_EQ(OvelAddItem(upper, "Bo Bell", "bo@x", nullptr), 1);
  EXPECT_TRUE(bookIn(di));
  EXPECT_FALSE(bookIn(decoy));
  OvelTerminate(lower);
  OvelTerminate(upper);
}
#endif
