// Helpers shared by the tests: scratch directories, file bytes, leak checks
// and fault sweeps.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "frame/fault_injection.h"
#include "ovel.h"

namespace ovel_test {

using Bytes = std::vector<uint8_t>;

// A new empty directory, removed with everything in it at the end of scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string BookFile() const;
  // The names of the files in the directory, sorted, but for the book's
  // lock file, which stays once made.
  std::vector<std::string> Files() const;

 private:
  std::string path_;
};

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
bool FileExists(const std::string& path);

// Bytes of a counted string: length byte and characters.
void PutString(Bytes* out, const std::string& text);
void PutWord(Bytes* out, uint16_t word);

// Builds book files record by record.
class BookBytes {
 public:
  explicit BookBytes(uint16_t count) {
    bytes_ = {2};
    PutWord(&bytes_, count);
  }
  BookBytes& Plain(uint16_t id, const std::string& name, const std::string& address,
                   const std::string& comment = "");
  BookBytes& Group(uint16_t id, const std::string& name, const std::vector<uint16_t>& members,
                   const std::string& comment = "");
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A copied-out entry, for comparing lists.
struct Item {
  int group;
  int surnameOffset;
  std::string name;
  std::string address;
  std::string comment;
  bool operator==(const Item&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Item& item);

// Every item a view shows, walked from index 0.
std::vector<Item> WalkView(ViewHandle view);
// The names a view shows, in order.
std::vector<std::string> ViewNames(ViewHandle view);
// Every item of an expanded group list; frees the list.
std::vector<Item> TakeMembers(MemberItem* list);
std::vector<std::string> Names(const std::vector<Item>& items);

// `prefix` followed by `number` in decimal.
std::string Numbered(const char* prefix, long number);

// Blocks and local records alive now.
long LiveBlocks();
long LiveLocals();

// Runs `attempt` once per fault point it reaches, failing each point in turn
// (any kind, counted in call order).  `attempt` returns true when the
// operation succeeded; `check` runs after every attempt, told whether it
// succeeded.  Returns the number of points swept.
long SweepFaults(const std::function<bool()>& attempt,
                 const std::function<void(bool succeeded, long point)>& check);

// The cause a failed call of the library left: errno, or the thread's
// last-error code on Windows.
long LastCause();
// Puts a cause back there (after clean-up calls of a test's own).
void SetCause(long cause);
// The cause `posix` on POSIX systems, `windows` on Windows.
#if defined(_WIN32)
#define OVEL_CAUSE(posix, windows) (windows)
#else
#define OVEL_CAUSE(posix, windows) (posix)
#endif

// Another program's calls: opens a Client on `dir` and a view with groups,
// runs `body` with them and closes both.  True when `body` returned true;
// the cause `body`'s last call left stays.
bool AsProgram(const std::string& dir, const std::function<bool(Client*, ViewHandle)>& body);

#if !defined(_WIN32)
// Who a child process runs as.
struct Identity {
  unsigned uid;
  unsigned gid;
  std::vector<unsigned> groups;  // supplementary groups
};
inline const Identity kNobody{65534, 65534, {}};
bool IsRoot();
// Runs `body` in a child process (as `who`, when given and the test runs as
// root) and gives its exit status: 0 when `body` returned true, 1 when
// false, 128 when it died, which it does after `seconds` (a call that waits
// for ever fails the test instead of hanging it).
int InChild(const std::function<bool()>& body, const Identity* who = nullptr,
            unsigned seconds = 30);
// The same in two steps, for a child that runs while the test goes on.
int StartChild(const std::function<bool()>& body, const Identity* who = nullptr,
               unsigned seconds = 30);
int WaitChild(int child);
#endif

// A test fixture that checks that every test frees what it allocated.
class LeakCheckedTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  long blocksBefore_ = 0;
  long localsBefore_ = 0;
};

// A fixture with a scratch book directory and a Client open on it.
class BookTest : public LeakCheckedTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  Bytes File() const { return ReadBytes(dir_.BookFile()); }
  void Write(const Bytes& bytes) const { WriteBytes(dir_.BookFile(), bytes); }
  void Write(const BookBytes& book) const { Write(book.bytes()); }
  // Load references held on the Client's Book.
  int LoadCount() const;

  ScratchDir dir_;
  Client* client_ = nullptr;
};

}  // namespace ovel_test
