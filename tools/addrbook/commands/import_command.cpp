// addrbook import: every card or row of a file added in one save, or
// reported with its line and the reason.
#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string_view>

#include "commands/commands.h"
#include "commands/group_import.h"
#include "formats/entry_rules.h"
#include "formats/import.h"
#include "text/platform_text.h"

namespace addrbook {
namespace {

std::string Counted(size_t n, const std::string& unit) {
  std::string plural = unit == "entry" ? "entries" : unit == "alias" ? "aliases" : unit + "s";
  return std::to_string(n) + " " + (n == 1 ? unit : plural);
}

// Redraws the progress bar in place, as wide as the terminal allows.
void DrawProgress(size_t done, size_t total) {
  std::string count = " " + std::to_string(done) + "/" + std::to_string(total);
  int room = TerminalColumns() - 12 - static_cast<int>(count.size()) - 1;
  size_t width = static_cast<size_t>(std::max(0, std::min(40, room)));
  size_t filled = done * width / total;
  std::cerr << "\r\x1b[K";
  if (width > 0) {
    std::cerr << "importing [" << std::string(filled, '#') << std::string(width - filled, ' ')
              << "]";
  }
  std::cerr << count << std::flush;
}

// What an import makes of the rows of a file.
struct Tally {
  std::vector<BookEntry> accepted;  // in book text, with their lines
  std::vector<int> lines;
  size_t rows = 0, refused = 0, duplicates = 0;
  // What each row gives the book as a member of a group: its new entry,
  // or the entry the book holds already; empty when the file has no
  // groups.
  std::vector<std::optional<MemberRef>> entryOf;
};

// A plain entry as an import tells repeats apart: its name as shown (the
// "%" that joins the words of a stored surname is a space) and its
// address.  Views, of strings that outlive the set of them.
struct HeldKey {
  std::string_view name, address;
};

char ShownByte(char c) { return c == '%' ? ' ' : c; }

uint64_t HashOf(const HeldKey& key) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (char c : key.name)
    hash = (hash ^ static_cast<unsigned char>(ShownByte(c))) * 1099511628211ull;
  hash = (hash ^ 0x100) * 1099511628211ull;  // where the name ends
  for (char c : key.address) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return hash;
}

bool SameKey(const HeldKey& a, const HeldKey& b) {
  return a.address == b.address &&
         std::equal(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                    [](char x, char y) { return ShownByte(x) == ShownByte(y); });
}

// The keys held: open addressing over a table of at least twice as many
// slots as keys, each slot the place of a key in `keys_` (0 for none).
class HeldKeys {
 public:
  explicit HeldKeys(size_t most) : slots_(std::bit_ceil(2 * most + 2), 0) { keys_.reserve(most); }

  // False when the key is held already.
  bool Insert(const HeldKey& key) {
    size_t mask = slots_.size() - 1;
    for (size_t at = static_cast<size_t>(HashOf(key)) & mask;; at = (at + 1) & mask) {
      if (slots_[at] == 0) {
        keys_.push_back(key);
        slots_[at] = static_cast<uint32_t>(keys_.size());
        return true;
      }
      if (SameKey(keys_[slots_[at] - 1], key)) return false;
    }
  }

  bool Holds(const HeldKey& key) const {
    size_t mask = slots_.size() - 1;
    for (size_t at = static_cast<size_t>(HashOf(key)) & mask; slots_[at] != 0;
         at = (at + 1) & mask) {
      if (SameKey(keys_[slots_[at] - 1], key)) return true;
    }
    return false;
  }

 private:
  std::vector<HeldKey> keys_;
  std::vector<uint32_t> slots_;
};

// Says what a row that goes in has to say: a name cut to fit, and on a
// dry run the entry it would add.  Most rows of a large file say nothing.
void SayAdded(const ImportRow& row, const BookEntry& entry, const OutputOptions& shown, bool dryRun,
              const std::string& where) {
  if (row.shortened.empty() && !dryRun) return;
  std::string name = ShownText(DisplayName(entry.name), shown);
  if (!row.shortened.empty()) {
    std::cerr << where << row.line << ": " << name << ": " << row.shortened
              << " left out to fit the book's " << kMaxName << " characters\n";
  }
  if (dryRun) std::cout << "would add " << name << " <" << ShownText(entry.address, shown) << ">\n";
}

// Sorts the rows of a file into those the book takes and those it does
// not, each refusal reported with its line (`where` names the file).
Tally Sorted(const ImportText& file, const std::vector<Entry>& entries, const Settings& settings,
             const ImportSettings& options, const std::string& where) {
  const std::vector<ImportRow>& rows = file.rows;
  OutputOptions shown = Shown(settings);
  Tally tally;
  // What the book holds already and what the file adds, as views of the
  // entries and of the accepted ones, which never move: room for as many
  // as the book can take is made before the first (a row past a full
  // book is refused).
  size_t room = std::min(rows.size(), kMaxEntries);
  tally.accepted.reserve(room);
  HeldKeys held(entries.size() + room);
  for (const Entry& e : entries) {
    if (!e.group) held.Insert({e.name, e.address});
  }
  if (HoldsGroups(rows)) tally.entryOf.resize(rows.size());
  bool fullSaid = false;
  for (size_t r = 0; r < rows.size(); ++r) {
    const ImportRow& row = rows[r];
    if (row.group) continue;  // made by PlanGroups
    ++tally.rows;
    size_t count = entries.size() + tally.accepted.size();
    std::string why;
    std::optional<BookEntry> entry = BookEntryOf(row, settings.encoding, count, &why);
    if (count >= kMaxEntries && row.refused.empty()) {
      // The same refusal for every row left: said once.
      ++tally.refused;
      if (fullSaid) continue;
      fullSaid = true;
      size_t left =
          static_cast<size_t>(std::count_if(rows.begin() + static_cast<long>(r), rows.end(),
                                            [](const ImportRow& x) { return !x.group; }));
      std::cerr << where << row.line << ": " << kBookFull << "; " << Counted(left, file.unit)
                << " from here on not added\n";
      continue;
    }
    if (!why.empty()) {
      ++tally.refused;
      std::cerr << where << row.line << ": " << ShownUtf8(why, shown) << "\n";
      continue;
    }
    if (!tally.entryOf.empty())
      tally.entryOf[r] = MemberRef{false, DisplayName(entry->name), entry->address};
    if (!options.allowDuplicates && held.Holds({entry->name, entry->address})) {
      ++tally.duplicates;
      continue;
    }
    if (tally.accepted.size() == room) break;  // never reached: the book is full first
    SayAdded(row, *entry, shown, options.dryRun, where);
    const BookEntry& kept = tally.accepted.emplace_back(std::move(*entry));
    tally.lines.push_back(row.line);
    held.Insert({kept.name, kept.address});
  }
  return tally;
}

// Adds the accepted entries from the last: the book puts a new entry
// before those of the same name, so the file's order is kept among them,
// as an export of the book gives it.  A failure of the library would
// repeat for every row: the import stops (reported) and adds nothing.
bool AddAll(BookAccess& book, const Tally& tally, bool progress) {
  size_t count = tally.accepted.size();
  for (size_t done = 1; done <= count; ++done) {
    const BookEntry& entry = tally.accepted[count - done];
    if (!OvelAddItem(book.client(), entry.name.c_str(), entry.address.c_str(),
                     entry.comment.c_str())) {
      std::string cause = FailureCause();
      if (progress) std::cerr << "\n";
      book.Fail("nothing was imported: line " + std::to_string(tally.lines[count - done]) +
                " could not be added: " + cause);
      return false;
    }
    if (progress && (done % 25 == 0 || done == count)) DrawProgress(done, count);
  }
  if (progress) std::cerr << "\n";
  return true;
}

// What an import did (or would do), on standard output; its exit status.
int Summary(const Tally& tally, const GroupTally& groups, const char* unit,
            const Settings& settings, bool dryRun) {
  OutputOptions shown = Shown(settings);
  for (const GroupPlan& plan : dryRun ? groups.plans : std::vector<GroupPlan>()) {
    if (plan.refused) continue;
    std::string name = ShownText(plan.name, shown),
                members = Counted(plan.members.size(), "member");
    std::cout << (plan.exists ? "would add " + members + " to the group " + name
                              : "would add the group " + name + " with " + members)
              << "\n";
  }
  std::cout << (dryRun ? "would import " : "imported ") << tally.accepted.size() << " of "
            << Counted(tally.rows, unit);
  if (groups.total) {
    std::cout << " and " << groups.accepted << " of " << Counted(groups.total, "group");
  }
  if (tally.duplicates) std::cout << "; " << tally.duplicates << " already in the book, skipped";
  size_t refused = tally.refused + groups.refused;
  if (refused) std::cout << "; " << refused << " refused (said above)";
  if (groups.missing)
    std::cout << "; " << Counted(groups.missing, "member") << " left out (said above)";
  std::cout << "\n";
  return refused || groups.missing ? 1 : 0;
}

// The largest file for which the import's memory is readied in advance.
constexpr uintmax_t kReadiedFile = 16 << 20;

// The file's bytes; false (with `why`) when it cannot be read.
bool ReadBytes(const std::string& path, std::string* bytes, std::string* why) {
  std::stringstream read;
  if (path == "-") {
    read << std::cin.rdbuf();
    *bytes = read.str();
    return true;
  }
  std::filesystem::path file = FilePath(path);
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) {
    *why = "it is a directory";
    return false;
  }
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *why = errno ? std::strerror(errno) : "it cannot be opened";
    if (!why->empty()) (*why)[0] = static_cast<char>(std::tolower((*why)[0]));
    return false;
  }
  // A regular file in one read of its size, not through a stream buffer
  // that grows and is copied; anything else (a pipe), or what the file
  // gained meanwhile, through the stream after it.
  uintmax_t size = std::filesystem::is_regular_file(file, error) ? file_size(file, error) : 0;
  bytes->clear();
  if (!error && size > 0) {
    // The import holds the bytes, the rows made of them and the entries
    // checked: about three times the file's size, readied at once.
    ReadyMemory(static_cast<size_t>(std::min<uintmax_t>(size, kReadiedFile)) * 3);
    bytes->resize(static_cast<size_t>(size));
    in.read(bytes->data(), static_cast<std::streamsize>(size));
    bytes->resize(static_cast<size_t>(in.gcount()));
  }
  in.clear();
  if (in.peek() != std::ifstream::traits_type::eof()) {
    read << in.rdbuf();
    *bytes += read.str();
  }
  if (in.bad()) {
    *why = "it could not be read to its end";
    return false;
  }
  return true;
}

}  // namespace

int ImportFile(BookAccess& book, const Settings& settings, const std::string& path,
               const ImportSettings& options) {
  std::string bytes, error;
  if (!ReadBytes(path, &bytes, &error)) {
    return book.Fail("cannot read " + ArgumentText(settings, path) + ": " + error);
  }
  ImportText file;
  if (!ReadImport(std::move(bytes), {options.input, options.columns, options.formulaGuard}, &file,
                  &error))
    return book.Fail(ArgumentText(settings, path) + ": " + error);
  if (!settings.otherText.empty() && !options.dryRun) {
    return book.Fail(settings.otherText +
                     "; nothing is imported in another encoding than the book's");
  }
  const std::string where = ShownUtf8(ArgumentText(settings, path), Shown(settings)) + ":";
  // Every row goes in within one transaction, saved once at the end; the
  // book is locked meanwhile, so the rows are checked against it as it is.
  Transaction changes(book.client(), !options.dryRun);
  if (!changes.Begin()) return book.FailCall("the book cannot be changed");
  std::vector<Entry> entries;
  ViewHandle view = book.Walk(true, &entries);
  if (!view) return book.Fail("nothing was imported");
  OvelFreeView(view);
  Tally tally = Sorted(file, entries, settings, options, where);
  GroupTally groups = PlanGroups(settings, file.rows, tally.entryOf, book, entries,
                                 entries.size() + tally.accepted.size(), where);
  bool progress = IsTerminal(stderr) && file.rows.size() >= 1000 && !options.dryRun;
  // The rows are done with: their memory serves the adds and the save.
  std::vector<ImportRow>().swap(file.rows);
  if (!options.dryRun &&
      (!AddAll(book, tally, progress) || !AddGroups(book, groups.plans, settings.encoding))) {
    return 1;
  }
  if (!changes.Commit()) {
    return book.FailCall("nothing was imported: the book could not be saved");
  }
  return Summary(tally, groups, file.unit, settings, options.dryRun);
}

}  // namespace addrbook
