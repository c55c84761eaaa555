// Speed of the main operations on books of 16, 256 and 4095 entries, beside
// the floor a durable whole-file save cannot go below.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ovel.h"

namespace {

namespace fs = std::filesystem;

// A book of `count` entries with realistic texts, one in ten a group.
std::vector<unsigned char> MakeBook(int count) {
  std::vector<unsigned char> out = {2, static_cast<unsigned char>(count & 0xFF),
                                    static_cast<unsigned char>(count >> 8)};
  auto put = [&](const std::string& text) {
    out.push_back(static_cast<unsigned char>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
  };
  static const char* kFirst[] = {"Ann", "Bob", "Carla", "Dieter", "Eve", "Farid", "Gwen", "Hiro"};
  static const char* kLast[] = {"Smith", "van%Dyke", "Okafor", "Lindqvist", "Moreau", "Tanaka"};
  for (int i = 1; i <= count; ++i) {
    bool group = i % 10 == 0;
    int id = i | (group ? 0x8000 : 0);
    out.push_back(static_cast<unsigned char>(id & 0xFF));
    out.push_back(static_cast<unsigned char>(id >> 8));
    std::string name = std::string(kFirst[i % 8]) + " " + kLast[i % 6] + std::to_string(i);
    put(group ? "Group " + std::to_string(i) : name);
    if (group) {
      int members = std::min(9, i - 1);
      out.push_back(static_cast<unsigned char>(members));
      for (int m = 1; m <= members; ++m) {
        out.push_back(static_cast<unsigned char>((i - m) & 0xFF));
        out.push_back(static_cast<unsigned char>((i - m) >> 8));
      }
    } else {
      put("person" + std::to_string(i) + "@mail.example.org");
    }
    put(i % 3 ? "met at the conference in spring" : "");
  }
  return out;
}

struct Fixture {
  explicit Fixture(int count) {
    dir = fs::temp_directory_path() /
          ("ovel-bench-" + std::to_string(getpid()) + "-" + std::to_string(count));
    fs::create_directories(dir);
    bytes = MakeBook(count);
    Reset();
    OvelInitialize(&client, dir.string().c_str());
  }
  ~Fixture() {
    OvelTerminate(client);
    fs::remove_all(dir);
  }
  void Reset() {
    std::ofstream(dir / "ADDRBOOK.DAT", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  fs::path dir;
  std::vector<unsigned char> bytes;
  Client* client = nullptr;
};

void Load(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ViewHandle view = OvelInitView(f.client, 1);
    benchmark::DoNotOptimize(view);
    OvelFreeView(view);
  }
  state.counters["bytes"] = static_cast<double>(f.bytes.size());
}

void Walk(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  ViewHandle view = OvelInitView(f.client, 1);
  for (auto _ : state) {
    int count = OvelGetViewCount(view);
    for (int i = 0; i < count; ++i) OvelFreeItem(OvelGetViewItem(view, i));
  }
  OvelFreeView(view);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void AddThenDeleteWithView(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)) - 1);
  ViewHandle view = OvelInitView(f.client, 1);
  for (auto _ : state) {
    OvelAddItem(f.client, "Aaron Aardvark", "a@b.example", "benchmark");
    OvelDeleteViewItem(view, 0);
  }
  OvelFreeView(view);
  state.counters["saves"] = benchmark::Counter(2, benchmark::Counter::kIsIterationInvariantRate);
}

void AddWithoutView(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)) - 1);
  for (auto _ : state) {
    state.PauseTiming();
    f.Reset();
    state.ResumeTiming();
    OvelAddItem(f.client, "Aaron Aardvark", "a@b.example", "benchmark");
  }
}

// The floor of a durable save: the same bytes to a new file, fsync, rename.
void FloorWriteFsyncRename(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  std::string temporary = (f.dir / "floor.tmp").string();
  std::string target = (f.dir / "floor.dat").string();
  for (auto _ : state) {
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (write(fd, f.bytes.data(), f.bytes.size()) < 0) state.SkipWithError("write failed");
    fsync(fd);
    close(fd);
    std::rename(temporary.c_str(), target.c_str());
  }
}

// The floor of a load: reading the file's bytes.
void FloorRead(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  std::string path = (f.dir / "ADDRBOOK.DAT").string();
  std::vector<char> buffer(f.bytes.size());
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDONLY);
    benchmark::DoNotOptimize(read(fd, buffer.data(), buffer.size()));
    close(fd);
  }
}

}  // namespace

BENCHMARK(Load)->Arg(16)->Arg(256)->Arg(4095);
BENCHMARK(FloorRead)->Arg(16)->Arg(256)->Arg(4095);
BENCHMARK(Walk)->Arg(16)->Arg(256)->Arg(4095);
BENCHMARK(AddThenDeleteWithView)->Arg(16)->Arg(256)->Arg(4095);
BENCHMARK(AddWithoutView)->Arg(16)->Arg(256)->Arg(4095);
BENCHMARK(FloorWriteFsyncRename)->Arg(16)->Arg(256)->Arg(4095);
BENCHMARK_MAIN();
