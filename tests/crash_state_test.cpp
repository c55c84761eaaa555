// Power loss during a save: every state that a crash at any point of the
// save's file-system calls could leave on disk, under a model of what the
// storage keeps, must hold exactly the book before the change or the book
// after it, and once the call has returned 1, only the book after it.
//
// The models, a few rules each:
// - ordered (ext4 with data=ordered; NTFS as Windows documents it): a
//   file's data is kept up to its last flush, later writes may be lost;
//   changes of names (create, rename, link, unlink) are kept in the order
//   they were made, all of them once a file or the directory is flushed
//   after them, and otherwise any first part of them.  On Windows
//   MoveFileExA with MOVEFILE_WRITE_THROUGH returns once the move is on
//   disk (it is recorded as a rename and a directory flush), and
//   FlushFileBuffers keeps the file's data and commits the log of name
//   changes before it.
// - weak (POSIX): only a directory flush keeps the name changes made
//   before it; of those after it any may be kept, in any combination, so a
//   rename may be kept without the data of the file it moves, whose
//   unflushed writes may be lost or read back as zeros.
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "frame/fault_injection.h"
#include "test_support.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace ovel;
using namespace ovel_test;

namespace {

enum class Model { kOrdered, kWeak };

constexpr size_t kPage = 4096;

// The book file in one crash state.
struct BookState {
  bool exists;
  std::string bytes;
  bool operator<(const BookState& o) const {
    return exists != o.exists ? exists < o.exists : bytes < o.bytes;
  }
  bool operator==(const BookState& o) const { return exists == o.exists && bytes == o.bytes; }
};

// A change of names, with the file a create made.
struct NameChange {
  RecordedFileOp op;
  int file;
};

using Names = std::map<std::string, int>;  // path -> file

void Apply(const NameChange& change, Names* names) {
  const RecordedFileOp& op = change.op;
  auto from = names->find(op.path);
  if (op.op == FileOp::kCreate) {
    (*names)[op.path] = change.file;
  } else if (op.op == FileOp::kUnlink) {
    if (from != names->end()) names->erase(from);
  } else if (from != names->end()) {  // rename or link of a name that was kept
    int file = from->second;
    if (op.op == FileOp::kRename) names->erase(from);
    (*names)[op.target] = file;
  }
}

struct CrashStates {
  std::set<BookState> book;  // the states of the book file
  long directory = 0;        // the states of the whole directory
};

// Unflushed writes are lost a page at a time, from the end; under the weak
// model the lost part may also read back as zeros.
std::vector<std::string> Contents(Model model, const std::string& flushed,
                                  const std::string& written) {
  std::vector<std::string> contents = {written};
  for (size_t kept = flushed.size(); kept < written.size(); kept += kPage) {
    std::string partial = written.substr(0, kept);
    contents.push_back(partial);
    if (model == Model::kWeak) {
      partial.resize(written.size(), '\0');
      contents.push_back(partial);
    }
  }
  return contents;
}

// Every state that a crash after the first `crash` calls of `log` can
// leave, starting from `before`.
CrashStates StatesAfter(Model model, const std::string& bookFile, const BookState& before,
                        const std::vector<RecordedFileOp>& log, size_t crash) {
  struct File {
    std::string flushed, written;
  };
  std::map<int, File> files;
  Names names, kept;
  if (before.exists) {
    files[0] = {before.bytes, before.bytes};
    names[bookFile] = 0;
  }
  kept = names;
  std::vector<NameChange> pending;  // not yet known to be kept
  auto keepPending = [&] {
    for (const NameChange& change : pending) Apply(change, &kept);
    pending.clear();
  };
  int nextFile = 1;
  for (size_t i = 0; i < crash; ++i) {
    const RecordedFileOp& op = log[i];
    auto file = names.find(op.path);
    switch (op.op) {
      case FileOp::kCreate:
      case FileOp::kRename:
      case FileOp::kLink:
      case FileOp::kUnlink:
        pending.push_back({op, op.op == FileOp::kCreate ? nextFile++ : -1});
        Apply(pending.back(), &names);
        break;
      case FileOp::kWrite:
        if (file != names.end()) files[file->second].written += op.bytes;
        break;
      case FileOp::kFlush:
        if (file != names.end()) files[file->second].flushed = files[file->second].written;
        if (model == Model::kOrdered) keepPending();
        break;
      case FileOp::kFlushDirectory:
        keepPending();
        break;
      case FileOp::kClose:
        break;
    }
  }
  CrashStates states;
  size_t n = pending.size();
  size_t combinations = model == Model::kOrdered ? n + 1 : size_t{1} << n;
  for (size_t choice = 0; choice < combinations; ++choice) {
    Names onDisk = kept;
    for (size_t i = 0; i < n; ++i) {
      bool keep = model == Model::kOrdered ? i < choice : ((choice >> i) & 1) != 0;
      if (keep) Apply(pending[i], &onDisk);
    }
    long directory = 1;
    std::set<int> named;
    for (const auto& [path, file] : onDisk) {
      if (named.insert(file).second) {
        directory *=
            static_cast<long>(Contents(model, files[file].flushed, files[file].written).size());
      }
    }
    states.directory += directory;
    auto book = onDisk.find(bookFile);
    if (book == onDisk.end()) {
      states.book.insert({false, ""});
      continue;
    }
    const File& file = files[book->second];
    for (const std::string& bytes : Contents(model, file.flushed, file.written)) {
      states.book.insert({true, bytes});
    }
  }
  return states;
}

struct Outcome {
  long states = 0;
  std::vector<std::string> violations;
};

BookState StateOf(const std::string& path) {
  if (!FileExists(path)) return {false, ""};
  Bytes bytes = ReadBytes(path);
  return {true, std::string(bytes.begin(), bytes.end())};
}

// The names in the book at `dir`, read by a Client of its own.
std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  AsProgram(dir, [&](Client*, ViewHandle view) { return !(names = ViewNames(view)).empty(); });
  return names;
}

// The group calls a scenario may make: a group "Zed Zz" added, or the
// first person made a member of the group "Crew" or taken out of it.
enum class GroupCall { kNone, kAddGroup, kAddMember, kRemoveMember };

struct Scenario {
  const char* what;
  int entries;
  bool view;
  bool add;
  FaultPoint failing = FaultPoint::kCount;
  long nth = 0;
  bool noLinks = false;                // a file system without hard links
  int batch = 0;                       // a transaction of this many adds and half as many deletes
  GroupCall group = GroupCall::kNone;  // a group call instead of the add or delete
};

// Runs `change` on a book of `entries` entries (none: no file) with the
// calls recorded, then checks every crash state under `model`.
// With `batch`, the change is a transaction of `batch` adds and half as
// many deletes.
Outcome Explore(Model model, const Scenario& scenario) {
  const int entries = scenario.entries, batch = scenario.batch;
  const bool add = scenario.add;
  const GroupCall group = scenario.group;
  ScratchDir dir;
  if (entries > 0) {
    BookBytes book(static_cast<uint16_t>(entries));
    for (int i = 1; i <= entries; ++i)
      book.Plain(static_cast<uint16_t>(i), Numbered("Person P", i), "p@x");
    WriteBytes(dir.BookFile(), book.bytes());
#if !defined(_WIN32)
    // An owner and mode of its own, which the book keeps whatever its save
    // does (a copy of it put back included).
    chmod(dir.BookFile().c_str(), 0604);
    if (IsRoot()) chown(dir.BookFile().c_str(), kNobody.uid, kNobody.gid);
#endif
  }
  Client* client = nullptr;
  EXPECT_EQ(OvelInitialize(&client, dir.path().c_str()), 1);
  if (group == GroupCall::kAddMember || group == GroupCall::kRemoveMember) {
    EXPECT_EQ(OvelAddGroup(client, "Crew", "the crew"), 1);
  }
  ViewHandle handle = scenario.view || !add ? OvelInitView(client, 1) : nullptr;
  // "Crew" sorts first: index 1 is the first person.
  if (group == GroupCall::kRemoveMember) {
    EXPECT_EQ(OvelAddGroupMember(handle, "Crew", 1), 1);
  }
  BookState before = StateOf(dir.BookFile());
  std::vector<std::string> namesBefore = NamesIn(dir.path());
  SimulateNoHardLinks(scenario.noLinks);
  if (scenario.failing != FaultPoint::kCount) FaultArm(scenario.failing, scenario.nth);
  StartRecordingFileOps();
  int result = batch                               ? OvelBeginChanges(client)
               : group == GroupCall::kAddGroup     ? OvelAddGroup(client, "Zed Zz", "z")
               : group == GroupCall::kAddMember    ? OvelAddGroupMember(handle, "Crew", 1)
               : group == GroupCall::kRemoveMember ? OvelRemoveGroupMember(handle, "Crew", 1)
               : add                               ? OvelAddItem(client, "Zed Zz", "z@x", nullptr)
                                                   : OvelDeleteViewItem(handle, 0);
  for (int i = 0; i < batch; ++i) {
    result &= OvelAddItem(client, Numbered("Zed Z", 100 + i).c_str(), "z@x", nullptr);
  }
  for (int i = 0; i < batch / 2; ++i) result &= OvelDeleteViewItem(handle, 0);
  if (batch) result = OvelEndChanges(client, 1) && result;
  std::vector<RecordedFileOp> log = StopRecordingFileOps();
  FaultReset();
  SimulateNoHardLinks(false);
  BookState after = StateOf(dir.BookFile());
  // What the call wrote to put in the book's place: the writes to the
  // first file renamed onto the book (a copy of the old book is not it).
  std::string newFile;
  for (const RecordedFileOp& op : log) {
    if (op.op == FileOp::kRename && newFile.empty() && op.target.size() >= 12 &&
        op.target.compare(op.target.size() - 12, 12, "ADDRBOOK.DAT") == 0) {
      newFile = op.path;
    }
  }
  BookState attempted{false, ""};
  for (const RecordedFileOp& op : log) {
    if (op.op == FileOp::kWrite && op.path == newFile)
      attempted = {true, attempted.bytes + op.bytes};
  }
  if (result != 1) {
    EXPECT_EQ(after, before) << "a failed call changed the book";
  }
#if !defined(_WIN32)
  struct stat info;
  if (entries > 0 && stat(dir.BookFile().c_str(), &info) == 0) {
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(info.st_uid, IsRoot() ? kNobody.uid : geteuid());
  }
#endif
  if (handle) OvelFreeView(handle);
  OvelTerminate(client);
  if (scenario.failing == FaultPoint::kCount) {
    // Without a fault the call succeeds, and the book after it holds the
    // change, whole: read afresh, it is the book before with "Zed Zz"
    // added, or with its first entry deleted, or with "Crew" holding the
    // first person or no one.
    EXPECT_EQ(result, 1) << "a call without a fault failed";
    std::vector<std::string> expected = namesBefore;
    if (batch) {
      expected.erase(expected.begin(), expected.begin() + batch / 2);
      for (int i = 0; i < batch; ++i) expected.push_back(Numbered("Zed Z", 100 + i));
    } else if (group == GroupCall::kAddMember || group == GroupCall::kRemoveMember) {
      std::vector<std::string> crew;
      AsProgram(dir.path(), [&](Client* reader, ViewHandle) {
        crew = ovel_test::Names(TakeMembers(OvelExpandGroup(reader, "crew", 0)));
        return true;
      });
      EXPECT_EQ(crew, group == GroupCall::kAddMember ? std::vector<std::string>{namesBefore[1]}
                                                     : std::vector<std::string>{});
    } else if (add) {
      expected.push_back("Zed Zz");
    } else if (!expected.empty()) {
      expected.erase(expected.begin());
    }
    EXPECT_EQ(NamesIn(dir.path()), expected);
  }

  Outcome outcome;
  std::string bookFile;
  for (const RecordedFileOp& op : log) {
    if (op.op == FileOp::kRename && op.target.size() >= 12 &&
        op.target.compare(op.target.size() - 12, 12, "ADDRBOOK.DAT") == 0) {
      bookFile = op.target;
    }
  }
  if (bookFile.empty()) bookFile = dir.BookFile();  // nothing was put in its place
  for (size_t crash = 0; crash <= log.size(); ++crash) {
    CrashStates states = StatesAfter(model, bookFile, before, log, crash);
    outcome.states += states.directory;
    for (const BookState& state : states.book) {
      // Before the call returns, the old book or the new one.  After it
      // returned 1, only the new one.  After it returned 0, the old one, or
      // (when the directory could not be flushed, so that putting the old
      // book back cannot be made durable either) the new one.
      bool returned = crash == log.size() && result == 1;
      if (state == after || (!returned && (state == before || state == attempted))) continue;
      std::string what = !state.exists            ? "no book"
                         : state.bytes.size() < 3 ? "an unloadable book"
                         : returned               ? "not the book after a save that returned 1"
                                                  : "neither the book before nor after";
      outcome.violations.push_back("crash after call " + std::to_string(crash) + " of " +
                                   std::to_string(log.size()) + ": " + what);
    }
  }
  return outcome;
}

const Scenario kScenarios[] = {
    {"add to no book", 0, false, true},
    {"add to an empty view", 0, true, true},
    {"add to one entry", 1, false, true},
    {"add to one entry, view open", 1, true, true},
    {"add to 4095 entries less one", 4094, false, true},
    {"add to 4094 entries, view open", 4094, true, true},
    {"delete the only entry", 1, true, false},
    {"delete from 4095 entries", 4095, true, false},
    {"add whose file flush fails", 1, true, true, FaultPoint::kFlush, 1},
    {"add whose rename fails", 1, true, true, FaultPoint::kRename, 1},
    {"add whose directory flush fails", 1, true, true, FaultPoint::kFlush, 2},
    {"delete whose directory flush fails", 1, true, false, FaultPoint::kFlush, 2},
    {"first add whose directory flush fails", 0, false, true, FaultPoint::kFlush, 2},
    {"add without hard links", 1, true, true, FaultPoint::kCount, 0, true},
    {"delete from 4095 entries without hard links", 4095, true, false, FaultPoint::kCount, 0, true},
    // The flushes: the new file's, the old book's copy, the directory.  The
    // copy put back is the book whole (far larger than a copy's buffer).
    {"delete from 4095 entries without hard links whose directory flush fails", 4095, true, false,
     FaultPoint::kFlush, 3, true},
    {"a transaction of 100 adds and 50 deletes", 60, true, true, FaultPoint::kCount, 0, false, 100},
    {"a transaction whose directory flush fails", 60, true, true, FaultPoint::kFlush, 2, false,
     100},
    {"a group added", 3, true, true, FaultPoint::kCount, 0, false, 0, GroupCall::kAddGroup},
    {"a member added", 3, true, true, FaultPoint::kCount, 0, false, 0, GroupCall::kAddMember},
    {"a member taken out", 3, true, true, FaultPoint::kCount, 0, false, 0,
     GroupCall::kRemoveMember},
    {"a member added whose directory flush fails", 3, true, true, FaultPoint::kFlush, 2, false, 0,
     GroupCall::kAddMember},
    {"a member added without hard links", 3, true, true, FaultPoint::kCount, 0, true, 0,
     GroupCall::kAddMember},
};

#if defined(_WIN32)
const Model kModels[] = {Model::kOrdered};
#else
const Model kModels[] = {Model::kOrdered, Model::kWeak};
#endif

TEST(CrashStates, EverySaveLeavesTheOldBookOrTheNewOne) {
  long total = 0;
  for (Model model : kModels) {
    long states = 0;
    for (const Scenario& s : kScenarios) {
      SCOPED_TRACE(std::string(s.what) + (model == Model::kWeak ? " (weak)" : " (ordered)"));
      Outcome outcome = Explore(model, s);
      states += outcome.states;
      EXPECT_TRUE(outcome.violations.empty()) << outcome.violations.front();
    }
    std::cout << (model == Model::kWeak ? "weak" : "ordered") << " model: " << states
              << " crash states checked\n";
    total += states;
  }
  RecordProperty("crash_states", static_cast<int>(total));
  EXPECT_GT(total, 150L * static_cast<long>(std::size(kModels)));  // every scenario explored
}

TEST(CrashStates, ASaveThatSkipsItsFileFlushIsCaught) {
  SkipFileFlushes(true);
  for (Model model : kModels) {
    Outcome outcome = Explore(model, {"add without file flushes", 1, true, true});
    EXPECT_FALSE(outcome.violations.empty()) << "the broken save went unnoticed";
  }
  SkipFileFlushes(false);
}

}  // namespace
