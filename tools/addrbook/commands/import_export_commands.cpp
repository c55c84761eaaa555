// addrbook export: the whole book in a format of the table of formats.
// addrbook import: every card or row of a file added in one save, or
// reported with its line and the reason.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "commands/commands.h"
#include "commands/group_import.h"
#include "formats/entry_rules.h"
#include "formats/import.h"
#include "text/platform_text.h"

namespace addrbook {
namespace {

// The direct members of every group, as indexes of `entries`; nullopt
// (reported) when a group's members cannot be read.
std::optional<std::vector<GroupMembers>> AllGroupMembers(BookAccess& book,
                                                         const std::vector<Entry>& entries,
                                                         Encoding encoding) {
  std::map<std::tuple<bool, std::string, std::string>, int> byKey;
  for (const Entry& e : entries) {
    byKey.emplace(std::make_tuple(e.group, e.name, e.group ? std::string() : e.address), e.index);
  }
  std::vector<GroupMembers> groups;
  for (const Entry& e : entries) {
    if (!e.group) continue;
    GroupMembers g{e.index, {}};
    auto members = book.Expand(e.name, false, ToUtf8(e.name, encoding));
    if (!members) return std::nullopt;
    for (const Entry& m : *members) {
      auto found = byKey.find(std::make_tuple(m.group, m.name, m.address));
      g.members.push_back(found == byKey.end() ? -1 : found->second);
    }
    groups.push_back(g);
  }
  return groups;
}

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
  // or the entry the book holds already.
  std::vector<std::optional<MemberRef>> entryOf;
};

// Sorts the rows of a file into those the book takes and those it does
// not, each refusal reported with its line (`where` names the file).
Tally Sorted(const ImportText& file, const std::vector<Entry>& entries, const Settings& settings,
             const ImportSettings& options, const std::string& where) {
  OutputOptions shown = Shown(settings);
  // What the book holds already, by name (as it shows) and address.
  std::set<std::pair<std::string, std::string>> held;
  for (const Entry& e : entries) {
    if (!e.group) held.insert({e.name, e.address});
  }
  Tally tally;
  tally.entryOf.resize(file.rows.size());
  const size_t total = file.rows.size();
  bool fullSaid = false;
  for (size_t r = 0; r < total; ++r) {
    const ImportRow& row = file.rows[r];
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
      size_t left = static_cast<size_t>(std::count_if(file.rows.begin() + static_cast<long>(r),
                                                      file.rows.end(),
                                                      [](const ImportRow& x) { return !x.group; }));
      std::cerr << where << row.line << ": " << kBookFull << "; " << Counted(left, file.unit)
                << " from here on not added\n";
    } else if (!why.empty()) {
      ++tally.refused;
      std::cerr << where << row.line << ": " << ShownUtf8(why, shown) << "\n";
    } else if (std::pair key{DisplayName(entry->name), entry->address};
               !options.allowDuplicates && held.count(key)) {
      ++tally.duplicates;
      tally.entryOf[r] = MemberRef{false, DisplayName(entry->name), entry->address};
    } else {
      tally.entryOf[r] = MemberRef{false, key.first, key.second};
      // Shown only when said: most rows of a large file are added unsaid.
      if (!row.shortened.empty() || options.dryRun) {
        std::string name = ShownText(key.first, shown);
        if (!row.shortened.empty()) {
          std::cerr << where << row.line << ": " << name << ": " << row.shortened
                    << " left out to fit the book's " << kMaxName << " characters\n";
        }
        if (options.dryRun) {
          std::cout << "would add " << name << " <" << ShownText(entry->address, shown) << ">\n";
        }
      }
      tally.accepted.push_back(std::move(*entry));
      tally.lines.push_back(row.line);
      held.insert(std::move(key));
    }
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

int ExportBook(BookAccess& book, const Settings& settings, const std::string& format,
               bool formulaGuard, bool bom) {
  auto entries = book.Entries(true);
  if (!entries) return 1;
  // The whole book or nothing: a group whose members cannot be read
  // fails the export before a byte is written.
  auto members = AllGroupMembers(book, *entries, settings.encoding);
  if (!members) return book.Fail("nothing was exported");
  std::vector<std::string> notices;
  if (const Format* writer = FormatNamed(format)) {
    if (bom) std::cout << "\xEF\xBB\xBF";
    std::cout << writer->write({*entries, *members}, {settings.encoding, formulaGuard, &notices});
  }
  if (!std::cout.flush()) return book.Fail("the export could not be written out in full");
  for (const std::string& notice : notices) {
    std::cerr << "export: " << ShownUtf8(notice, Shown(settings)) << "\n";
  }
  if (notices.empty()) return 0;
  std::cerr << "export: " << format << " could not carry everything as it is (said above)\n";
  return 1;
}

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
