#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>

#include "frame/client.h"
#include "frame/local_lock.h"
#include "frame/platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <errno.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ovel_test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  // A directory no other test program takes: named by this process, the
  // time and a count, and made here rather than found (test programs run
  // two at a time and may start in one tick of the clock).
#if defined(_WIN32)
  unsigned long process = GetCurrentProcessId();
#else
  unsigned long process = static_cast<unsigned long>(getpid());
#endif
  static std::atomic<unsigned> counter{0};
  fs::path base;
  do {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    base = fs::temp_directory_path() / ("ovel-test-" + std::to_string(process) + "-" +
                                        std::to_string(stamp) + "-" + std::to_string(counter++));
  } while (!fs::create_directory(base));
  path_ = base.string();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ScratchDir::BookFile() const { return (fs::path(path_) / "ADDRBOOK.DAT").string(); }

std::vector<std::string> ScratchDir::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    std::string name = entry.path().filename().string();
    if (name != "ADDRBOOK.LCK") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) { return fs::exists(path); }

void PutString(Bytes* out, const std::string& text) {
  out->push_back(static_cast<uint8_t>(text.size()));
  out->insert(out->end(), text.begin(), text.end());
}

void PutWord(Bytes* out, uint16_t word) {
  out->push_back(static_cast<uint8_t>(word & 0xFF));
  out->push_back(static_cast<uint8_t>(word >> 8));
}

BookBytes& BookBytes::Plain(uint16_t id, const std::string& name, const std::string& address,
                            const std::string& comment) {
  PutWord(&bytes_, id);
  PutString(&bytes_, name);
  PutString(&bytes_, address);
  PutString(&bytes_, comment);
  return *this;
}

BookBytes& BookBytes::Group(uint16_t id, const std::string& name,
                            const std::vector<uint16_t>& members, const std::string& comment) {
  PutWord(&bytes_, static_cast<uint16_t>(id | 0x8000));
  PutString(&bytes_, name);
  bytes_.push_back(static_cast<uint8_t>(members.size()));
  for (uint16_t member : members) PutWord(&bytes_, member);
  PutString(&bytes_, comment);
  return *this;
}

std::ostream& operator<<(std::ostream& out, const Item& item) {
  return out << "{" << item.group << "," << item.surnameOffset << ",\"" << item.name << "\",\""
             << item.address << "\",\"" << item.comment << "\"}";
}

namespace {
std::string Text(const char* text) { return text ? text : "<null>"; }
}  // namespace

std::vector<Item> WalkView(ViewHandle view) {
  std::vector<Item> items;
  int count = OvelGetViewCount(view);
  for (int i = 0; i < count; ++i) {
    ViewItem* item = OvelGetViewItem(view, i);
    if (!item) {
      ADD_FAILURE() << "no item at " << i << " of " << count;
      break;
    }
    items.push_back({item->group, item->surnameOffset, Text(item->name), Text(item->address),
                     Text(item->comment)});
    OvelFreeItem(item);
  }
  return items;
}

std::vector<std::string> Names(const std::vector<Item>& items) {
  std::vector<std::string> names;
  for (const Item& item : items) names.push_back(item.name);
  return names;
}

std::string Numbered(const char* prefix, long number) {
  std::string text = prefix;
  text += std::to_string(number);
  return text;
}

std::vector<std::string> ViewNames(ViewHandle view) { return Names(WalkView(view)); }

std::vector<Item> TakeMembers(MemberItem* list) {
  std::vector<Item> items;
  for (MemberItem* item = list; item; item = item->next) {
    items.push_back({item->group, item->surnameOffset, Text(item->name), Text(item->address),
                     Text(item->comment)});
  }
  OvelFreeGroup(list);
  return items;
}

#if defined(_WIN32)
long LastCause() { return static_cast<long>(GetLastError()); }
void SetCause(long cause) { SetLastError(static_cast<DWORD>(cause)); }
#else
long LastCause() { return errno; }
void SetCause(long cause) { errno = static_cast<int>(cause); }

bool IsRoot() { return geteuid() == 0; }

int InChild(const std::function<bool()>& body, const Identity* who, unsigned seconds) {
  return WaitChild(StartChild(body, who, seconds));
}

int StartChild(const std::function<bool()>& body, const Identity* who, unsigned seconds) {
  fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    alarm(seconds);
    if (who && geteuid() == 0) {
      std::vector<gid_t> groups(who->groups.begin(), who->groups.end());
      if (setgroups(groups.size(), groups.data()) != 0 || setgid(who->gid) != 0 ||
          setuid(who->uid) != 0) {
        _exit(3);
      }
    }
    _exit(body() ? 0 : 1);
  }
  return child;
}

int WaitChild(int child) {
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}
#endif

bool AsProgram(const std::string& dir, const std::function<bool(Client*, ViewHandle)>& body) {
  Client* client = nullptr;
  if (!OvelInitialize(&client, dir.c_str())) return false;
  ViewHandle view = OvelInitView(client, 1);
  bool ok = body(client, view);
  long cause = LastCause();
  OvelFreeView(view);
  OvelTerminate(client);
  SetCause(cause);
  return ok;
}

long LiveBlocks() { return ovel::PlatformLiveBlocks(); }
long LiveLocals() { return ovel::PlatformLiveLocals(); }

long SweepFaults(const std::function<bool()>& attempt,
                 const std::function<void(bool succeeded, long point)>& check) {
  for (long point = 1; point < 1000000; ++point) {
    ovel::FaultReset();
    ovel::FaultArmAny(point);
    bool succeeded = attempt();
    bool reached = ovel::FaultCallsAll() >= point;
    ovel::FaultReset();
    // After the last point the operation runs clean: it must then succeed.
    check(succeeded, reached ? point : 0);
    if (!reached) return point - 1;
  }
  ADD_FAILURE() << "fault sweep did not end";
  return 0;
}

void LeakCheckedTest::SetUp() {
  ovel::FaultReset();
  blocksBefore_ = LiveBlocks();
  localsBefore_ = LiveLocals();
}

void LeakCheckedTest::TearDown() {
  ovel::FaultReset();
  EXPECT_EQ(LiveBlocks(), blocksBefore_) << "blocks leaked";
  EXPECT_EQ(LiveLocals(), localsBefore_) << "local records leaked";
}

void BookTest::SetUp() {
  LeakCheckedTest::SetUp();
  ASSERT_EQ(OvelInitialize(&client_, dir_.path().c_str()), 1);
}

void BookTest::TearDown() {
  EXPECT_EQ(OvelTerminate(client_), 1);
  LeakCheckedTest::TearDown();
}

int BookTest::LoadCount() const { return ovel::LocalLock<ovel::Book>(client_->book)->loadCount; }

}  // namespace ovel_test
