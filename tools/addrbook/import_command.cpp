// addrbook import: every card or row of a file added in one save, or
// reported with its line and the reason.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include "commands.h"
#include "import.h"
#include "platform_text.h"

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

}  // namespace

int ImportFile(BookAccess& book, const Settings& settings, const std::string& path,
               const ImportSettings& options) {
  std::stringstream bytes;
  if (path == "-") {
    bytes << std::cin.rdbuf();
  } else {
    std::ifstream in(FilePath(path), std::ios::binary);
    if (!in) return book.Fail("cannot read " + ArgumentText(settings, path));
    bytes << in.rdbuf();
  }
  ReadOptions read;
  read.input = options.input;
  read.columns = options.columns;
  read.formulaGuard = options.formulaGuard;
  ImportText file;
  std::string error;
  if (!ReadImport(bytes.str(), read, &file, &error))
    return book.Fail(ArgumentText(settings, path) + ": " + error);
  OutputOptions shown = Shown(settings);
  const std::string where = ShownUtf8(ArgumentText(settings, path), shown) + ":";

  // Every row goes in within one transaction, saved once at the end; the
  // book is locked meanwhile, so the rows are checked against it as it is.
  if (!options.dryRun && !OvelBeginChanges(book.client())) {
    return book.FailCall("the book cannot be changed");
  }
  auto abandon = [&](const std::string& why) {
    if (!options.dryRun) OvelEndChanges(book.client(), 0);
    return book.Fail(why);
  };
  std::vector<Entry> entries;
  ViewHandle view = book.Walk(true, &entries);
  if (!view) return abandon("nothing was imported");
  OvelFreeView(view);
  // What the book holds already, by name (as it shows) and address.
  std::set<std::pair<std::string, std::string>> held;
  for (const Entry& e : entries) {
    if (!e.group) held.insert({e.name, e.address});
  }
  const size_t total = file.rows.size();
  std::vector<ImportRow> accepted;  // in book text
  bool progress = IsTerminal(stderr) && total >= 1000 && !options.dryRun;
  size_t refused = 0, duplicates = 0, groups = 0, added = 0;
  for (size_t r = 0; r < total; ++r) {
    const ImportRow& row = file.rows[r];
    std::string why;
    std::optional<BookEntry> entry;
    if (!row.group) entry = BookEntryOf(row, settings.encoding, entries.size() + added, &why);
    if (row.group) {
      ++groups;
      std::cerr << where << row.line << ": " << ShownUtf8(row.name, shown)
                << " is a group; groups cannot be imported\n";
    } else if (entries.size() + added >= kMaxEntries && row.refused.empty()) {
      // The same refusal for every row left: said once.
      refused += total - r;
      std::cerr << where << row.line << ": " << kBookFull << "; "
                << Counted(total - r, file.unit) << " from here on not added\n";
      break;
    } else if (!why.empty()) {
      ++refused;
      std::cerr << where << row.line << ": " << ShownUtf8(why, shown) << "\n";
    } else if (!options.allowDuplicates && held.count({DisplayName(entry->name), entry->address})) {
      ++duplicates;
    } else {
      accepted.push_back({row.line, entry->name, entry->address, entry->comment, false, "", ""});
      ++added;
      held.insert({DisplayName(entry->name), entry->address});
      if (!row.shortened.empty()) {
        std::cerr << where << row.line << ": " << ShownText(DisplayName(entry->name), shown) << ": "
                  << row.shortened << " left out to fit the book's " << kMaxName << " characters\n";
      }
      if (options.dryRun) {
        std::cout << "would add " << ShownText(DisplayName(entry->name), shown) << " <"
                  << ShownText(entry->address, shown) << ">\n";
      }
    }
  }
  // Added from the last: the book puts a new entry before those of the
  // same name, so the file's order is kept among them, as an export of
  // the book gives it.
  for (auto row = accepted.rbegin(); !options.dryRun && row != accepted.rend(); ++row) {
    if (!OvelAddItem(book.client(), row->name.c_str(), row->address.c_str(),
                     row->comment.c_str())) {
      // A failure of the library would repeat for every row: the import
      // stops and adds nothing.
      std::string cause = FailureCause();
      if (progress) std::cerr << "\n";
      return abandon("nothing was imported: line " + std::to_string(row->line) +
                     " could not be added: " + cause);
    }
    size_t done = static_cast<size_t>(row - accepted.rbegin()) + 1;
    if (progress && (done % 25 == 0 || done == accepted.size())) {
      DrawProgress(done, accepted.size());
    }
  }
  if (progress) std::cerr << "\n";
  if (!options.dryRun && !OvelEndChanges(book.client(), 1)) {
    return book.FailCall("nothing was imported: the book could not be saved");
  }
  std::cout << (options.dryRun ? "would import " : "imported ") << added << " of "
            << Counted(total, file.unit);
  if (duplicates) std::cout << "; " << duplicates << " already in the book, skipped";
  if (groups) std::cout << "; " << Counted(groups, "group") << " left out";
  if (refused) std::cout << "; " << refused << " refused (said above)";
  std::cout << "\n";
  return refused ? 1 : 0;
}

}  // namespace addrbook
