// Crash safety: processes that add and delete entries are killed at random
// moments; the book must always load, holding the entries from before or
// from after the change in progress.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>

#include "test_support.h"

using namespace ovel_test;

namespace {

constexpr const char* kKid = "Kid Crash";

std::vector<std::string> SortedNames(const std::string& directory, bool* loaded) {
  Client* client = nullptr;
  std::vector<std::string> names;
  *loaded = false;
  if (!OvelInitialize(&client, directory.c_str())) return names;
  if (ViewHandle view = OvelInitView(client, 1)) {
    *loaded = true;
    names = ViewNames(view);
    OvelFreeView(view);
  }
  OvelTerminate(client);
  std::sort(names.begin(), names.end());
  return names;
}

// Adds kKid when the book lacks it and deletes it when it holds it, over
// and over, until killed: the book is always the base or the base and kKid.
// Writes a byte to `ready` after its first change, so that kills land in
// the middle of the loop rather than before it.
[[noreturn]] void AddAndDeleteForever(const std::string& directory, int ready) {
  Client* client = nullptr;
  if (!OvelInitialize(&client, directory.c_str())) _exit(2);
  ViewHandle view = OvelInitView(client, 1);
  if (!view) _exit(3);
  for (;;) {
    int kidAt = -1;
    int count = OvelGetViewCount(view);
    for (int i = 0; i < count && kidAt < 0; ++i) {
      ViewItem* item = OvelGetViewItem(view, i);
      if (item && std::string(item->name) == kKid) kidAt = i;
      OvelFreeItem(item);
    }
    bool changed = kidAt >= 0 ? OvelDeleteViewItem(view, kidAt) == 1
                              : OvelAddItem(client, kKid, "kid@example.org", "changing") == 1;
    if (!changed) _exit(4);
    if (ready >= 0) {
      char byte = 1;
      if (write(ready, &byte, 1) != 1) _exit(6);
      close(ready);
      ready = -1;
    }
  }
}

}  // namespace

TEST(CrashSafety, KilledWritersNeverLeaveAHalfWrittenBook) {
  ScratchDir dir;
  BookBytes book(1500);
  for (uint16_t id = 1; id <= 1500; ++id) {
    book.Plain(id, Numbered("Person ", 100000 + id), "someone@example.org",
               "a comment long enough to make the file span several blocks");
  }
  WriteBytes(dir.BookFile(), book.bytes());
  bool loaded = false;
  std::vector<std::string> base = SortedNames(dir.path(), &loaded);
  ASSERT_TRUE(loaded);
  std::vector<std::string> withKid = base;
  withKid.push_back(kKid);
  std::sort(withKid.begin(), withKid.end());

  std::mt19937 random(12345);
  int before = 0, after = 0;
  for (int round = 0; round < 200; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      AddAndDeleteForever(dir.path(), ready[1]);
    }
    close(ready[1]);
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    usleep(std::uniform_int_distribution<int>(0, 20000)(random));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer stopped by itself: " << WEXITSTATUS(status);

    std::vector<std::string> names = SortedNames(dir.path(), &loaded);
    ASSERT_TRUE(loaded) << "round " << round;
    if (names == base) {
      ++before;
    } else {
      ASSERT_EQ(names, withKid) << "round " << round;
      ++after;
    }
  }
  RecordProperty("killed_without_kid", before);
  RecordProperty("killed_with_kid", after);
}
