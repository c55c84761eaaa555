// Speed of the library's operations on books of 16, 256 and 4095 entries,
// beside the floors the hardware allows (reading the file; reading it and
// copying every string; a durable whole-file write) and beside SQLite
// holding the same entries.  scripts/bench.sh turns the results into a table.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ovel.h"

namespace {

namespace fs = std::filesystem;

struct Record {
  bool group;
  std::string name, address, comment;
  std::vector<int> members;  // 1-based record numbers
};

// Realistic entries, one in ten a group of up to nine members, and for
// books of more than 16 entries a group "Everyone" of up to 255 members
// that nests the others.
std::vector<Record> MakeRecords(int count) {
  static const char* kFirst[] = {"Ann",   "Bob",  "Carla", "Dieter", "Eve",
                                 "Farid", "Gwen", "Hiro",  "Ines",   "Jamal"};
  static const char* kLast[] = {"Smith",  "van%Dyke", "Okafor",       "Lindqvist", "Moreau",
                                "Tanaka", "Novak",    "Garcia%Lopez", "Kowalski",  "O'Brien"};
  std::vector<Record> records;
  for (int i = 1; i <= count; ++i) {
    Record r;
    r.group = i % 10 == 0 || i == count;
    if (i == count) {
      r.name = "Everyone";
      for (int m = 1; m < count && r.members.size() < 255; ++m) r.members.push_back(m);
    } else if (r.group) {
      r.name = "Team " + std::to_string(i / 10);
      for (int m = i - 9; m < i; ++m) r.members.push_back(m);
    } else {
      r.name = std::string(kFirst[i % 10]) + " " + kLast[(i / 10) % 10] + std::to_string(i % 97);
      r.address = "person" + std::to_string(i) + "@mail.example.org";
    }
    r.comment = i % 3 ? "met at the spring conference" : "";
    records.push_back(r);
  }
  return records;
}

std::vector<unsigned char> FileBytes(const std::vector<Record>& records) {
  std::vector<unsigned char> out = {2, static_cast<unsigned char>(records.size() & 0xFF),
                                    static_cast<unsigned char>(records.size() >> 8)};
  auto word = [&](int w) {
    out.push_back(static_cast<unsigned char>(w & 0xFF));
    out.push_back(static_cast<unsigned char>(w >> 8));
  };
  auto text = [&](const std::string& s) {
    out.push_back(static_cast<unsigned char>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
  };
  for (size_t i = 0; i < records.size(); ++i) {
    const Record& r = records[i];
    word(static_cast<int>(i + 1) | (r.group ? 0x8000 : 0));
    text(r.name);
    if (r.group) {
      out.push_back(static_cast<unsigned char>(r.members.size()));
      for (int m : r.members) word(m);
    } else {
      text(r.address);
    }
    text(r.comment);
  }
  return out;
}

// A directory holding the book as the library writes it (sorted), and an
// open Client on it.
class BookFixture {
 public:
  explicit BookFixture(int count) : count_(count) {
    static int serial = 0;
    dir_ = fs::temp_directory_path() /
           ("ovel-bench-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
    fs::create_directories(dir_);
    std::vector<unsigned char> raw = FileBytes(MakeRecords(count));
    Write(raw);
    OvelInitialize(&client_, dir_.string().c_str());
    // One change makes the library write the book in its own order.
    ViewHandle view = OvelInitView(client_, 1);
    OvelAddItem(client_, "Zz Zz", "z", nullptr);
    OvelDeleteViewItem(view, OvelGetViewCount(view) - 1);
    OvelFreeView(view);
    bytes_ = Read();
  }
  ~BookFixture() {
    OvelTerminate(client_);
    fs::remove_all(dir_);
  }
  void Write(const std::vector<unsigned char>& bytes) const {
    std::ofstream(dir_ / "ADDRBOOK.DAT", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<unsigned char> Read() const {
    std::ifstream in(dir_ / "ADDRBOOK.DAT", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  Client* client() const { return client_; }
  const fs::path& dir() const { return dir_; }
  const std::vector<unsigned char>& bytes() const { return bytes_; }
  int count() const { return count_; }

 private:
  int count_;
  fs::path dir_;
  Client* client_ = nullptr;
  std::vector<unsigned char> bytes_;
};

int Entries(const benchmark::State& state) { return static_cast<int>(state.range(0)); }

void Load(benchmark::State& state) {
  BookFixture book(Entries(state));
  for (auto _ : state) {
    ViewHandle view = OvelInitView(book.client(), 1);
    if (!view) state.SkipWithError("load failed");
    OvelFreeView(view);
  }
  state.counters["bytes"] = static_cast<double>(book.bytes().size());
}

void Walk(benchmark::State& state) {
  BookFixture book(Entries(state));
  ViewHandle view = OvelInitView(book.client(), 1);
  for (auto _ : state) {
    int count = OvelGetViewCount(view);
    for (int i = 0; i < count; ++i) OvelFreeItem(OvelGetViewItem(view, i));
  }
  OvelFreeView(view);
  state.counters["entries"] = Entries(state);
}

void AddWithView(benchmark::State& state) {
  BookFixture book(Entries(state));
  ViewHandle view = OvelInitView(book.client(), 1);
  for (auto _ : state) {
    if (!OvelAddItem(book.client(), "Aaron Aardvark", "a@b.example", "benchmark")) {
      state.SkipWithError("add failed");
    }
    state.PauseTiming();
    OvelDeleteViewItem(view, 0);
    state.ResumeTiming();
  }
  OvelFreeView(view);
}

void AddWithoutView(benchmark::State& state) {
  BookFixture book(Entries(state));
  for (auto _ : state) {
    if (!OvelAddItem(book.client(), "Aaron Aardvark", "a@b.example", "benchmark")) {
      state.SkipWithError("add failed");
    }
    state.PauseTiming();
    book.Write(book.bytes());
    state.ResumeTiming();
  }
}

void DeleteWithView(benchmark::State& state) {
  BookFixture book(Entries(state));
  ViewHandle view = OvelInitView(book.client(), 1);
  for (auto _ : state) {
    state.PauseTiming();
    OvelAddItem(book.client(), "Aaron Aardvark", "a@b.example", "benchmark");
    state.ResumeTiming();
    if (!OvelDeleteViewItem(view, 0)) state.SkipWithError("delete failed");
  }
  OvelFreeView(view);
}

void ExpandRecursive(benchmark::State& state) {
  BookFixture book(Entries(state));
  ViewHandle view = OvelInitView(book.client(), 1);  // the book stays loaded
  int members = 0;
  for (auto _ : state) {
    MemberItem* list = OvelExpandGroup(book.client(), "Everyone", 1);
    members = 0;
    for (MemberItem* m = list; m; m = m->next) ++members;
    OvelFreeGroup(list);
  }
  OvelFreeView(view);
  state.counters["members"] = members;
}

// Floors.

void FloorRead(benchmark::State& state) {
  BookFixture book(Entries(state));
  std::string path = (book.dir() / "ADDRBOOK.DAT").string();
  std::vector<char> buffer(book.bytes().size());
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDONLY);
    benchmark::DoNotOptimize(read(fd, buffer.data(), buffer.size()));
    close(fd);
  }
}

// Reading the bytes, then allocating and copying every string of every
// record: the least a load into separate entries can do.
void FloorReadCopy(benchmark::State& state) {
  BookFixture book(Entries(state));
  std::string path = (book.dir() / "ADDRBOOK.DAT").string();
  std::vector<unsigned char> buffer(book.bytes().size());
  std::vector<char*> strings;
  strings.reserve(4 * static_cast<size_t>(book.count()));
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDONLY);
    ssize_t got = read(fd, buffer.data(), buffer.size());
    close(fd);
    size_t at = 3;
    auto copy = [&](size_t n) {
      char* s = static_cast<char*>(std::malloc(n + 1));
      std::memcpy(s, &buffer[at], n);
      s[n] = 0;
      strings.push_back(s);
      at += n;
    };
    while (at < static_cast<size_t>(got)) {
      bool group = buffer[at + 1] & 0x80;
      at += 2;
      copy(buffer[at++]);
      if (group) {
        copy(2u * buffer[at++]);
      } else {
        copy(buffer[at++]);
      }
      copy(buffer[at++]);
    }
    for (char* s : strings) std::free(s);
    strings.clear();
  }
}

// The same bytes to a new file, fsync, rename: the least a durable
// whole-file save can do; and the same with the directory flushed after the
// rename, which a save needs for the rename itself to survive a crash.
bool WriteDurablyAt(const fs::path& directory, const std::vector<unsigned char>& bytes,
                    bool flushDirectory) {
  std::string temporary = (directory / "floor.tmp").string();
  std::string target = (directory / "floor.dat").string();
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  bool written = write(fd, bytes.data(), bytes.size()) >= 0;
  fsync(fd);
  close(fd);
  std::rename(temporary.c_str(), target.c_str());
  if (flushDirectory) {
    int dir = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    fsync(dir);
    close(dir);
  }
  return written;
}

bool WriteDurably(const BookFixture& book, bool flushDirectory) {
  return WriteDurablyAt(book.dir(), book.bytes(), flushDirectory);
}

void DurableWrite(benchmark::State& state, bool flushDirectory) {
  BookFixture book(Entries(state));
  for (auto _ : state) {
    if (!WriteDurably(book, flushDirectory)) state.SkipWithError("write");
  }
}

void FloorWriteFsyncRename(benchmark::State& state) { DurableWrite(state, false); }
void FloorWriteFsyncRenameDirFsync(benchmark::State& state) { DurableWrite(state, true); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

// A durable save beside the floor measured moments before it: each
// iteration times the floor (with the directory fsync), an add and a delete
// in turn, and the counters are the medians over the iterations and their
// ratios.  A disk whose speed drifts between benchmarks skews the ratio of
// two separate benchmarks' medians; it cannot skew these.
void SavesBesideFloor(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  BookFixture book(Entries(state));
  ViewHandle view = OvelInitView(book.client(), 1);
  std::vector<double> floor, add, remove;
  auto micros = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
  };
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    if (!WriteDurably(book, true)) state.SkipWithError("write");
    Clock::time_point floorDone = Clock::now();
    if (!OvelAddItem(book.client(), "Aaron Aardvark", "a@b.example", "benchmark")) {
      state.SkipWithError("add failed");
    }
    Clock::time_point added = Clock::now();
    if (!OvelDeleteViewItem(view, 0)) state.SkipWithError("delete failed");
    Clock::time_point deleted = Clock::now();
    floor.push_back(micros(start, floorDone));
    add.push_back(micros(floorDone, added));
    remove.push_back(micros(added, deleted));
  }
  OvelFreeView(view);
  double floorMedian = Median(floor);
  state.counters["floor_us"] = floorMedian;
  state.counters["add_us"] = Median(add);
  state.counters["delete_us"] = Median(remove);
  state.counters["add_ratio"] = floorMedian > 0 ? Median(add) / floorMedian : 0;
  state.counters["delete_ratio"] = floorMedian > 0 ? Median(remove) / floorMedian : 0;
}

// An empty directory with a Client on it, for the books that adds make.
class EmptyBook {
 public:
  EmptyBook() {
    dir_ = fs::temp_directory_path() / ("ovel-bench-" + std::to_string(getpid()) + "-adds");
    fs::create_directories(dir_);
    OvelInitialize(&client_, dir_.string().c_str());
  }
  ~EmptyBook() {
    OvelTerminate(client_);
    fs::remove_all(dir_);
  }
  void Empty() const { fs::remove(dir_ / "ADDRBOOK.DAT"); }
  // `count` entries of their own; true when every add succeeded.
  bool AddAll(int count) const {
    static const char* kFirst[] = {"Ann", "Bob", "Carla", "Dieter", "Eve", "Farid", "Gwen"};
    bool added = true;
    for (int i = 0; i < count; ++i) {
      std::string name = std::string(kFirst[i % 7]) + " Surname" + std::to_string(i * 7919 % count);
      added = OvelAddItem(client_, name.c_str(), "person@mail.example.org", nullptr) && added;
    }
    return added;
  }
  Client* client() const { return client_; }
  const fs::path& dir() const { return dir_; }

 private:
  fs::path dir_;
  Client* client_ = nullptr;
};

// Adds into an empty book in one transaction, beside the floor of one
// durable save of the book they make (measured moments before): the adds
// in memory, then the one save, and the save's ratio to the floor.
void TransactionAdds(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  EmptyBook book;
  OvelBeginChanges(book.client());
  book.AddAll(Entries(state));
  OvelEndChanges(book.client(), 1);
  std::ifstream in(book.dir() / "ADDRBOOK.DAT", std::ios::binary);
  std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<double> floor, adds, save;
  auto micros = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
  };
  for (auto _ : state) {
    book.Empty();
    Clock::time_point start = Clock::now();
    WriteDurablyAt(book.dir(), bytes, true);
    Clock::time_point floorDone = Clock::now();
    if (!OvelBeginChanges(book.client()) || !book.AddAll(Entries(state))) {
      state.SkipWithError("add failed");
    }
    Clock::time_point added = Clock::now();
    if (!OvelEndChanges(book.client(), 1)) state.SkipWithError("save failed");
    Clock::time_point saved = Clock::now();
    floor.push_back(micros(start, floorDone));
    adds.push_back(micros(floorDone, added));
    save.push_back(micros(added, saved));
  }
  double floorMedian = Median(floor);
  state.counters["floor_us"] = floorMedian;
  state.counters["adds_us"] = Median(adds);
  state.counters["save_us"] = Median(save);
  state.counters["save_ratio"] = floorMedian > 0 ? Median(save) / floorMedian : 0;
}

// The same adds, each a durable save of its own.
void SingleAdds(benchmark::State& state) {
  EmptyBook book;
  for (auto _ : state) {
    book.Empty();
    if (!book.AddAll(Entries(state))) state.SkipWithError("add failed");
  }
}

// The peer: SQLite in WAL mode with synchronous=FULL, holding the same
// entries, ordered by the same surname key.
class SqliteFixture {
 public:
  explicit SqliteFixture(int count) {
    static int serial = 0;
    path_ = (fs::temp_directory_path() / ("ovel-bench-" + std::to_string(getpid()) + "-sqlite-" +
                                          std::to_string(serial++) + ".db"))
                .string();
    sqlite3_open(path_.c_str(), &db_);
    Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
    Exec(
        "CREATE TABLE entry(key TEXT COLLATE NOCASE, seq INTEGER, grp INTEGER, name TEXT,"
        " address TEXT, comment TEXT, members BLOB, PRIMARY KEY(key, seq))");
    Exec("BEGIN");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db_, "INSERT INTO entry VALUES(?,?,?,?,?,?,?)", -1, &insert, nullptr);
    int seq = 0;
    for (const Record& r : MakeRecords(count)) {
      std::string key =
          r.name.substr(r.name.rfind(' ') == std::string::npos ? 0 : r.name.rfind(' ') + 1);
      sqlite3_bind_text(insert, 1, key.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 2, seq++);
      sqlite3_bind_int(insert, 3, r.group);
      sqlite3_bind_text(insert, 4, r.name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 5, r.address.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 6, r.comment.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_blob(insert, 7, r.members.data(),
                        static_cast<int>(r.members.size() * sizeof(int)), SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }
  ~SqliteFixture() {
    sqlite3_close(db_);
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
  }
  void Exec(const char* sql) { sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }
  sqlite3* db() const { return db_; }

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
};

struct Row {
  int group;
  std::string name, address, comment;
};

void SqliteReadAll(benchmark::State& state) {
  SqliteFixture peer(Entries(state));
  std::vector<Row> rows;
  for (auto _ : state) {
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(peer.db(), "SELECT grp, name, address, comment FROM entry ORDER BY key, seq",
                       -1, &select, nullptr);
    rows.clear();
    while (sqlite3_step(select) == SQLITE_ROW) {
      rows.push_back({sqlite3_column_int(select, 0),
                      reinterpret_cast<const char*>(sqlite3_column_text(select, 1)),
                      reinterpret_cast<const char*>(sqlite3_column_text(select, 2)),
                      reinterpret_cast<const char*>(sqlite3_column_text(select, 3))});
    }
    sqlite3_finalize(select);
  }
}

void SqliteInsert(benchmark::State& state) {
  SqliteFixture peer(Entries(state));
  for (auto _ : state) {
    peer.Exec(
        "INSERT INTO entry VALUES('Aardvark', -1, 0, 'Aaron Aardvark', 'a@b.example',"
        " 'benchmark', NULL)");
    state.PauseTiming();
    peer.Exec("DELETE FROM entry WHERE seq = -1");
    state.ResumeTiming();
  }
}

void SqliteDelete(benchmark::State& state) {
  SqliteFixture peer(Entries(state));
  for (auto _ : state) {
    state.PauseTiming();
    peer.Exec(
        "INSERT INTO entry VALUES('Aardvark', -1, 0, 'Aaron Aardvark', 'a@b.example',"
        " 'benchmark', NULL)");
    state.ResumeTiming();
    peer.Exec("DELETE FROM entry WHERE seq = -1");
  }
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int size : {16, 256, 4095}) b->Arg(size);
}

}  // namespace

BENCHMARK(Load)->Apply(Sizes);
BENCHMARK(Walk)->Apply(Sizes);
BENCHMARK(AddWithView)->Apply(Sizes);
BENCHMARK(AddWithoutView)->Apply(Sizes);
BENCHMARK(DeleteWithView)->Apply(Sizes);
BENCHMARK(ExpandRecursive)->Apply(Sizes);
BENCHMARK(FloorRead)->Apply(Sizes);
BENCHMARK(FloorReadCopy)->Apply(Sizes);
BENCHMARK(FloorWriteFsyncRename)->Apply(Sizes);
BENCHMARK(FloorWriteFsyncRenameDirFsync)->Apply(Sizes);
BENCHMARK(SavesBesideFloor)->Apply(Sizes);
BENCHMARK(TransactionAdds)->Arg(16)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(SingleAdds)->Arg(16)->Arg(4000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(SqliteReadAll)->Apply(Sizes);
BENCHMARK(SqliteInsert)->Apply(Sizes);
BENCHMARK(SqliteDelete)->Apply(Sizes);
BENCHMARK_MAIN();
