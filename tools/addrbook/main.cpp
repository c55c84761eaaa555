// addrbook: a command-line address book over the ovel library.  Uses only
// the public header and the shared library, as any caller would.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "book_access.h"
#include "csv.h"
#include "import.h"
#include "output.h"
#include "search.h"
#include "terminal.h"
#include "text_encoding.h"

using namespace addrbook;

namespace {

constexpr const char* kVersion = "1.0.0";
constexpr size_t kMaxName = 24;
constexpr size_t kMaxText = 255;
constexpr size_t kMaxEntries = 4095;

struct Settings {
  std::string directory;
  Encoding encoding = Encoding::kCp1252;          // of the book's text
  LocaleEncoding locale = LocaleEncoding::kUtf8;  // of arguments and the terminal
};

// An argument in the book's encoding; nullopt (reported) when it cannot be.
// No byte is stored that was not converted from a known encoding.
std::optional<std::string> BookText(const Settings& settings, const BookAccess& book,
                                    const std::string& argument) {
  std::string utf8 = argument;
  if (settings.locale == LocaleEncoding::kLatin1) utf8 = ToUtf8(argument, Encoding::kLatin1);
  if (settings.locale == LocaleEncoding::kCp1252) utf8 = ToUtf8(argument, Encoding::kCp1252);
  if (settings.locale == LocaleEncoding::kOther) {
    for (char c : argument) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        book.Fail("the locale's encoding is not one addrbook can convert; use a UTF-8 locale");
        return std::nullopt;
      }
    }
  }
  std::string error;
  std::optional<std::string> text = FromUtf8(utf8, settings.encoding, &error);
  if (!text) book.Fail(error);
  return text;
}

// Output is UTF-8, unless the terminal's encoding is the book's own.
bool Utf8Output(const Settings& settings) {
  return !((settings.locale == LocaleEncoding::kLatin1 && settings.encoding == Encoding::kLatin1) ||
           (settings.locale == LocaleEncoding::kCp1252 && settings.encoding == Encoding::kCp1252));
}

// A name as the book shows it: "%" joins surname words and shows as a space.
std::string DisplayName(std::string name) {
  for (char& c : name) {
    if (c == '%') c = ' ';
  }
  return name;
}

// Names of the subcommands, to name an unknown one in a message.
constexpr const char* kCommands[] = {"list",   "add",  "delete", "expand", "export",
                                     "import", "find", "show",   "edit",   "mutt-query"};

// The first argument that is neither an option nor an option's value, when
// it names no command.
std::optional<std::string> UnknownCommand(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-d" || arg == "--directory" || arg == "--encoding") {
      ++i;
      continue;
    }
    if (arg.empty() || arg[0] == '-') continue;
    for (const char* command : kCommands) {
      if (arg == command) return std::nullopt;
    }
    return arg;
  }
  return std::nullopt;
}

// Why an entry cannot be added, or "" when it can.
std::string AddRefusal(const std::string& name, const std::string& address,
                       const std::string& comment, size_t entries) {
  if (name.empty()) return "the name is empty";
  if (address.empty()) return "the address is empty";
  if (name.size() > kMaxName) return "the name is longer than 24 characters";
  if (address.size() > kMaxText) return "the address is longer than 255 characters";
  if (comment.size() > kMaxText) return "the comment is longer than 255 characters";
  if (entries >= kMaxEntries) return "the book is full (4095 entries)";
  return "";
}

std::string Render(const std::vector<Entry>& entries, const std::string& format,
                   const Settings& settings, bool showIndex) {
  OutputOptions options;
  options.encoding = settings.encoding;
  options.showIndex = showIndex;
  if (format == "json") return JsonText(entries, options);
  if (format == "csv") return CsvText(entries, options);
  options.utf8 = Utf8Output(settings);
  options.highlight = MayHighlight(stdout);
  options.columns = TerminalColumns();
  return TableText(entries, options);
}

// The direct members of every group, as indexes of `entries`.
std::vector<GroupMembers> AllGroupMembers(BookAccess& book, const std::vector<Entry>& entries) {
  std::map<std::tuple<bool, std::string, std::string>, int> byKey;
  for (const Entry& e : entries) {
    byKey.emplace(std::make_tuple(e.group, e.name, e.group ? std::string() : e.address), e.index);
  }
  std::vector<GroupMembers> groups;
  for (const Entry& e : entries) {
    if (!e.group) continue;
    GroupMembers g{e.index, {}};
    for (const Entry& m : book.Members(e.name, false)) {
      auto found = byKey.find(std::make_tuple(m.group, m.name, m.address));
      g.members.push_back(found == byKey.end() ? -1 : found->second);
    }
    groups.push_back(g);
  }
  return groups;
}

// The entry a command names by its index (as list shows it, with groups
// when `groups`) or by its name; -1 (reported) when there is none or the
// name is ambiguous.
int FindTarget(const BookAccess& book, const Settings& settings, const std::vector<Entry>& entries,
               std::optional<int> index, const std::string& byName) {
  if (byName.empty()) {
    int target = index.value_or(-1);
    if (target < 0 || target >= static_cast<int>(entries.size())) {
      book.Fail("no entry has index " + std::to_string(target));
      return -1;
    }
    return target;
  }
  auto wanted = BookText(settings, book, byName);
  if (!wanted) return -1;
  std::vector<Entry> matches;
  // The name in its stored form ("%") or as the book shows it.
  for (const Entry& e : entries) {
    if (e.name == DisplayName(*wanted)) matches.push_back(e);
  }
  if (matches.empty()) {
    book.Fail("no entry is named " + byName);
    return -1;
  }
  if (matches.size() > 1) {
    book.Fail("the name " + byName + " is ambiguous; name the entry by its index (list --groups):");
    std::cerr << Render(matches, "table", settings, true);
    return -1;
  }
  return matches[0].index;
}

OutputOptions Shown(const Settings& settings) {
  OutputOptions shown;
  shown.encoding = settings.encoding;
  shown.utf8 = Utf8Output(settings);
  return shown;
}

// Asks on the terminal; true for "y" or "yes".
bool Confirmed(const std::string& question) {
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  std::getline(std::cin, answer);
  return answer == "y" || answer == "Y" || answer == "yes";
}

// The position in `entries` (a listing with groups) of what `list` shows
// at `index`: groups counted when `groups`, as list --groups shows them,
// else plain entries only; -1 (reported) when it shows nothing there.
int ListedPosition(const BookAccess& book, const std::vector<Entry>& entries, int index,
                   bool groups) {
  int counted = 0;
  for (const Entry& e : entries) {
    if ((groups || !e.group) && counted++ == index) return e.index;
  }
  book.Fail("no entry has index " + std::to_string(index));
  return -1;
}

// Closes a view at the end of a scope.
struct ViewCloser {
  ViewHandle view;
  ~ViewCloser() { OvelFreeView(view); }
};

// Deletes the entries that `indexes` (as list shows them, groups counted
// when `groups`) and `names` name, all from one listing, in one
// transaction: all of them or none.
int DeleteEntries(BookAccess& book, const Settings& settings, const std::vector<int>& indexes,
                  const std::vector<std::string>& names, bool groups, bool yes,
                  const std::string& expected) {
  if (indexes.empty() && names.empty()) {
    std::cerr << "addrbook: name the entries by INDEX or by --name NAME\n";
    return 2;
  }
  if (!expected.empty() && indexes.size() + names.size() != 1) {
    std::cerr << "addrbook: --expect names one entry; delete one at a time with it\n";
    return 2;
  }
  // One listing with groups; an index counts as list shows it.
  std::vector<Entry> entries;
  ViewHandle view = book.Walk(true, &entries);
  if (!view) return 1;
  ViewCloser closer{view};
  std::vector<int> targets;
  for (int index : indexes) {
    targets.push_back(ListedPosition(book, entries, index, groups));
    if (targets.back() < 0) return 1;
  }
  for (const std::string& name : names) {
    int target = FindTarget(book, settings, entries, std::nullopt, name);
    if (target < 0) return 1;
    targets.push_back(target);
  }
  std::sort(targets.begin(), targets.end());
  targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
  OutputOptions shown = Shown(settings);
  std::string question;
  for (int target : targets) {
    const Entry& entry = entries[static_cast<size_t>(target)];
    if (!expected.empty()) {
      auto wanted = BookText(settings, book, expected);
      if (!wanted) return 1;
      if (entry.name != DisplayName(*wanted)) {
        return book.Fail("the entry is " + ShownText(entry.name, shown) + ", not " + expected);
      }
    }
    question += (question.empty() ? "delete " : ", ") + ShownText(entry.name, shown) + " <" +
                ShownText(entry.group ? "(group)" : entry.address, shown) + ">";
  }
  if (!yes && IsTerminal(stdin) && !Confirmed(question + "?")) return book.Fail("not deleted");
  // Through the view that showed them, from the last, so that each index
  // still names what the listing showed; another program's change since
  // cannot make it delete someone else.
  if (!OvelBeginChanges(book.client())) return book.FailCall("the book cannot be changed");
  for (auto target = targets.rbegin(); target != targets.rend(); ++target) {
    if (OvelDeleteViewItem(view, *target) != 1) {
      std::string cause = FailureCause();
      OvelEndChanges(book.client(), 0);
      return book.Fail("nothing was deleted: " + cause);
    }
  }
  if (!OvelEndChanges(book.client(), 1)) {
    return book.FailCall("nothing was deleted: the book could not be saved");
  }
  for (int target : targets) {
    std::cout << "deleted " << ShownText(entries[static_cast<size_t>(target)].name, shown) << "\n";
  }
  return 0;
}

struct ImportOptions {
  Encoding input = Encoding::kUtf8;  // of the file
  bool dryRun = false;
  bool allowDuplicates = false;
};

int Import(BookAccess& book, const Settings& settings, const std::string& path,
           const ImportOptions& options) {
  std::stringstream text;
  if (path == "-") {
    text << std::cin.rdbuf();
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) return book.Fail("cannot read " + path);
    text << in.rdbuf();
  }
  std::string utf8 = text.str();
  if (options.input != Encoding::kUtf8) utf8 = ToUtf8(utf8, options.input);
  std::vector<ImportRow> rows;
  std::vector<std::string> skipped;
  std::string error;
  size_t first = utf8.find_first_not_of(" \t\r\n");
  bool json = first != std::string::npos && (utf8[first] == '[' || utf8[first] == '{');
  if (IsVcardText(utf8)) {
    ReadVcardRows(utf8, &rows, &skipped);
  } else if (json ? !ReadJsonRows(utf8, &rows, &skipped, &error)
                  : !ReadCsvRows(utf8, &rows, &error)) {
    return book.Fail(path + ": " + error);
  }
  for (const ImportRow& row : rows) {
    if (row.group)
      skipped.push_back("line " + std::to_string(row.line) + ": " + row.name +
                        " is a group; groups cannot be imported");
  }
  rows.erase(std::remove_if(rows.begin(), rows.end(), [](const ImportRow& r) { return r.group; }),
             rows.end());
  for (const std::string& why : skipped)
    std::cerr << SafeText(path) << ": " << SafeText(why) << "\n";

  // Every row goes in within one transaction, saved once at the end; the
  // book is locked meanwhile, so the rows are checked against it as it is.
  if (!options.dryRun && !OvelBeginChanges(book.client())) {
    return book.FailCall("the book cannot be changed");
  }
  ViewHandle view = OvelInitView(book.client(), 1);
  if (!view) return book.FailCall("the book cannot be read");
  // What the book holds already, by stored name (as it shows) and address.
  std::set<std::pair<std::string, std::string>> held;
  int count = OvelGetViewCount(view);
  for (int i = 0; i < count; ++i) {
    if (ViewItem* item = OvelGetViewItem(view, i)) {
      if (!item->group) held.insert({item->name, item->address});
      OvelFreeItem(item);
    }
  }
  size_t total = rows.size();
  bool progress = IsTerminal(stderr) && total >= 200 && !options.dryRun;
  size_t refused = 0, duplicates = 0, added = 0;
  for (size_t r = 0; r < rows.size(); ++r) {
    const ImportRow& row = rows[r];
    std::string why;
    // Each conversion that fails leaves its reason in `why`.
    auto name = FromUtf8(row.name, settings.encoding, &why);
    auto address = name ? FromUtf8(row.address, settings.encoding, &why) : std::nullopt;
    auto comment = address ? FromUtf8(row.comment, settings.encoding, &why) : std::nullopt;
    bool duplicate = false;
    if (comment) {
      why = AddRefusal(*name, *address, *comment, static_cast<size_t>(count) + added);
      duplicate = why.empty() && !options.allowDuplicates &&
                  held.count({DisplayName(*name), *address}) != 0;
      if (why.empty() && !duplicate && !options.dryRun &&
          !OvelAddItem(book.client(), name->c_str(), address->c_str(), comment->c_str())) {
        why = "the entry could not be saved: " + FailureCause();
      }
    }
    if (progress) std::cerr << "\r\x1b[K";
    if (!why.empty()) {
      ++refused;
      std::cerr << SafeText(path) << ":" << row.line << ": " << SafeText(why) << "\n";
    } else if (duplicate) {
      ++duplicates;
    } else {
      ++added;
      held.insert({DisplayName(*name), *address});
      if (options.dryRun) {
        std::cout << "would add " << SafeText(DisplayName(row.name)) << " <"
                  << SafeText(row.address) << ">\n";
      }
    }
    if (progress && ((r + 1) % 25 == 0 || r + 1 == total)) {
      // The bar fits the terminal's width, redrawn in place.
      std::string count = " " + std::to_string(r + 1) + "/" + std::to_string(total);
      int room = TerminalColumns() - 12 - static_cast<int>(count.size()) - 1;
      size_t width = static_cast<size_t>(std::max(0, std::min(40, room)));
      size_t done = (r + 1) * width / total;
      std::cerr << "\r\x1b[K";
      if (width > 0)
        std::cerr << "importing [" << std::string(done, '#') << std::string(width - done, ' ')
                  << "]";
      std::cerr << count << std::flush;
    }
  }
  if (progress) std::cerr << "\n";
  OvelFreeView(view);
  if (!options.dryRun && !OvelEndChanges(book.client(), 1)) {
    return book.FailCall("nothing was imported: the book could not be saved");
  }
  std::cout << (options.dryRun ? "would import " : "imported ") << added << " of " << total
            << " rows";
  if (duplicates) std::cout << "; " << duplicates << " already in the book, skipped";
  if (!skipped.empty()) std::cout << "; " << skipped.size() << " skipped (said above)";
  std::cout << "\n";
  return refused ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"addrbook: keep an address book (ADDRBOOK.DAT) in a directory"};
  app.set_version_flag("--version", kVersion);
  app.require_subcommand(1);
  Settings settings;
  std::string encodingName = "cp1252";
  app.add_option("-d,--directory", settings.directory,
                 "Directory of the book (default: $ADDRBOOK_DIR, else the current directory)");
  app.add_option("--encoding", encodingName, "Encoding of the book's text")
      ->check(CLI::IsMember({"cp1252", "latin1", "utf8"}));

  std::string format = "table";
  bool groups = false;
  CLI::App* list = app.add_subcommand("list", "List the book in surname order with view indexes");
  list->add_flag("--groups", groups, "Show groups as well as plain entries");
  list->add_option("--format", format, "table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));

  std::string name, address, comment;
  CLI::App* add =
      app.add_subcommand("add", "Add a plain entry (\"%\" in NAME joins surname words)");
  add->add_option("NAME", name, "Name, at most 24 characters")->required();
  add->add_option("ADDRESS", address, "Address, at most 255 characters")->required();
  add->add_option("COMMENT", comment, "Comment, at most 255 characters");

  std::optional<int> index;
  std::string byName;
  std::vector<int> deleteIndexes;
  std::vector<std::string> deleteNames;
  CLI::App* remove = app.add_subcommand(
      "delete", "Delete entries by their list indexes or names, all or none, in one save");
  remove->add_option("INDEX", deleteIndexes, "Indexes that one list showed");
  remove->add_flag("--groups", groups, "INDEX counts groups too, as list --groups shows");
  remove->add_option("--name", deleteNames, "Exact name, shown or stored (with %); repeatable")
      ->allow_extra_args(false);
  bool yes = false;
  std::string expected;
  remove->add_flag("--yes", yes, "Do not ask on a terminal");
  remove->add_option("--expect", expected, "Refuse unless the entry is named so");

  std::string text;
  CLI::App* find =
      app.add_subcommand("find", "List the entries whose name, address or comment holds TEXT");
  find->add_option("TEXT", text, "Text to look for, in any case")->required();
  find->add_option("--format", format, "table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  CLI::App* query = app.add_subcommand(
      "mutt-query",
      "Answer a mail client's address query: a line, then address TAB name TAB comment");
  query->add_option("TEXT", text, "Text to look for, in any case")->required();

  CLI::App* show = app.add_subcommand("show", "Show one entry in full (a group with its members)");
  show->add_option("INDEX", index, "Index that list shows");
  show->add_flag("--groups", groups, "INDEX counts groups too, as list --groups shows");
  show->add_option("--name", byName, "Exact name, shown or stored (with %)");

  std::optional<std::string> newName, newAddress, newComment;
  CLI::App* edit = app.add_subcommand(
      "edit", "Change an entry: the new one is added before the old one is deleted");
  edit->add_option("INDEX", index, "Index that list shows");
  edit->add_flag("--groups", groups, "INDEX counts groups too, as list --groups shows");
  edit->add_option("--name", byName, "Exact name, shown or stored (with %)");
  edit->add_option("--name-to", newName, "New name (\"%\" joins surname words)");
  edit->add_option("--address", newAddress, "New address");
  edit->add_option("--comment", newComment, "New comment");

  bool recursive = false;
  std::string group;
  CLI::App* expand = app.add_subcommand("expand", "List the members of a group");
  expand->add_option("GROUP", group, "Group name (any case)")->required();
  expand->add_flag("--recursive", recursive, "Replace nested groups by their members");
  expand->add_option("--format", format, "table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));

  std::string exportFormat;
  bool noFormulaGuard = false;
  CLI::App* exporter = app.add_subcommand("export", "Write the whole book with groups and members");
  exporter->add_flag("--no-formula-guard", noFormulaGuard,
                     "CSV: write fields as they are, without a ' before a leading = + - @");
  exporter->add_option("--format", exportFormat, "vcard, csv or json")
      ->required()
      ->check(CLI::IsMember({"vcard", "csv", "json"}));

  std::string importPath, inputEncoding = "utf8";
  ImportOptions importOptions;
  CLI::App* importer = app.add_subcommand(
      "import",
      "Add the rows of a CSV file (this tool's, or Google, Outlook, Thunderbird exports)");
  importer
      ->add_option("FILE", importPath,
                   "CSV file with a header line, or vCard file, or - for standard input")
      ->required();
  importer->add_option("--input-encoding", inputEncoding, "Encoding of the file")
      ->check(CLI::IsMember({"utf8", "cp1252", "latin1"}));
  importer->add_flag("--dry-run", importOptions.dryRun, "Report what would be added; add nothing");
  importer->add_flag("--allow-duplicates", importOptions.allowDuplicates,
                     "Add rows whose name and address the book already holds");

  if (std::optional<std::string> unknown = UnknownCommand(argc, argv)) {
    std::cerr << "addrbook: unknown command '" << *unknown
              << "' (commands: list, add, delete, find, show, edit, expand, export, import,"
                 " mutt-query)\n";
    return 2;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : 2;
  }
  // The book's encoding: --encoding, else $ADDRBOOK_ENCODING, else cp1252.
  const char* encodingFromEnvironment = std::getenv("ADDRBOOK_ENCODING");
  if (!app.count("--encoding") && encodingFromEnvironment && *encodingFromEnvironment) {
    encodingName = encodingFromEnvironment;
  }
  std::optional<Encoding> encoding = ParseEncoding(encodingName);
  if (!encoding) {
    std::cerr << "addrbook: unknown encoding '" << encodingName << "' (cp1252, latin1, utf8)\n";
    return 2;
  }
  settings.encoding = *encoding;
  settings.locale = TerminalEncoding();
  if (settings.directory.empty()) {
    const char* fromEnvironment = std::getenv("ADDRBOOK_DIR");
    settings.directory = fromEnvironment && *fromEnvironment ? fromEnvironment : ".";
  }
  BookAccess book(settings.directory);
  std::error_code ignored;
  if (!std::filesystem::exists(settings.directory, ignored)) return book.Fail("no such directory");
  if (!std::filesystem::is_directory(settings.directory, ignored)) {
    return book.Fail("not a directory");
  }
  if (!book.Open()) return 1;

  if (list->parsed()) {
    auto entries = book.Entries(groups);
    if (!entries) return 1;
    std::cout << Render(*entries, format, settings, true);
    return 0;
  }
  if (add->parsed()) {
    auto n = BookText(settings, book, name), a = BookText(settings, book, address),
         c = BookText(settings, book, comment);
    if (!n || !a || !c) return 1;
    auto entries = book.Entries(true);
    if (!entries) return 1;
    std::string why = AddRefusal(*n, *a, *c, entries->size());
    if (!why.empty()) return book.Fail(why);
    if (!OvelAddItem(book.client(), n->c_str(), a->c_str(), c->c_str())) {
      return book.FailCall("the entry could not be saved");
    }
    std::cout << "added " << name << " <" << address << ">\n";
    return 0;
  }
  if (remove->parsed()) {
    return DeleteEntries(book, settings, deleteIndexes, deleteNames, groups, yes, expected);
  }
  if (show->parsed() || edit->parsed()) {
    if (index.has_value() == !byName.empty()) {
      std::cerr << "addrbook: name the entry by an INDEX or by --name NAME\n";
      return 2;
    }
    // An index counts as list shows it: plain entries, or with --groups
    // groups too.
    std::vector<Entry> entries;
    ViewHandle view = book.Walk(true, &entries);
    if (!view) return 1;
    ViewCloser closer{view};
    if (index && (index = ListedPosition(book, entries, *index, groups)) < 0) return 1;
    int target = FindTarget(book, settings, entries, index, byName);
    if (target < 0) return 1;
    const Entry& entry = entries[static_cast<size_t>(target)];
    OutputOptions shown = Shown(settings);
    if (show->parsed()) {
      std::cout << "name:     " << ShownText(entry.name, shown) << "\n"
                << "surname:  "
                << ShownText(entry.name.substr(static_cast<size_t>(entry.surnameOffset)), shown)
                << "\n";
      if (!entry.group) std::cout << "address:  " << ShownText(entry.address, shown) << "\n";
      if (!entry.comment.empty())
        std::cout << "comment:  " << ShownText(entry.comment, shown) << "\n";
      if (entry.group) {
        std::cout << "members:\n"
                  << Render(book.Members(entry.name, false), "table", settings, false);
      }
      return 0;
    }
    // Edit: add the new entry and delete the old one in one transaction:
    // both changes are saved, or neither.
    if (entry.group)
      return book.Fail("groups cannot be edited; the library makes plain entries only");
    std::optional<std::string> n = newName ? BookText(settings, book, *newName) : StoredName(entry);
    std::optional<std::string> a =
        newAddress ? BookText(settings, book, *newAddress) : entry.address;
    std::optional<std::string> c =
        newComment ? BookText(settings, book, *newComment) : entry.comment;
    if (!n || !a || !c) return 1;
    if (DisplayName(*n) == entry.name && *a == entry.address && *c == entry.comment) {
      std::cout << "unchanged " << ShownText(entry.name, shown) << "\n";
      return 0;
    }
    std::string why = AddRefusal(*n, *a, *c, entries.size() - 1);
    if (!why.empty()) return book.Fail(why);
    if (!OvelBeginChanges(book.client())) return book.FailCall("the book cannot be changed");
    if (!OvelAddItem(book.client(), n->c_str(), a->c_str(), c->c_str())) {
      std::string cause = FailureCause();
      OvelEndChanges(book.client(), 0);
      return book.Fail("nothing was changed: " + cause);
    }
    // The old entry, found again by what it holds (the add moved indexes).
    std::vector<Entry> now;
    ViewHandle again = book.Walk(true, &now);
    if (!again) return 1;
    int old = -1;
    for (const Entry& e : now) {
      if (!e.group && e.name == entry.name && e.address == entry.address &&
          e.comment == entry.comment) {
        old = e.index;
        break;
      }
    }
    bool deleted = old >= 0 && OvelDeleteViewItem(again, old) == 1;
    std::string cause = deleted || old < 0 ? "it is gone" : FailureCause();
    OvelFreeView(again);
    if (!deleted) {
      OvelEndChanges(book.client(), 0);
      return book.Fail("nothing was changed: the old entry could not be deleted: " + cause);
    }
    if (!OvelEndChanges(book.client(), 1)) {
      return book.FailCall("nothing was changed: the book could not be saved");
    }
    std::cout << "changed " << ShownText(entry.name, shown) << " to "
              << ShownText(DisplayName(*n), shown) << " <" << ShownText(*a, shown) << ">\n";
    return 0;
  }
  if (find->parsed() || query->parsed()) {
    auto wanted = BookText(settings, book, text);
    auto entries = book.Entries(true);
    if (!wanted || !entries) return 1;
    std::vector<Entry> matches;
    for (const Entry& e : *entries) {
      if (EntryMatches(e, *wanted) && !(query->parsed() && e.group)) matches.push_back(e);
    }
    if (find->parsed()) {
      std::cout << Render(matches, format, settings, true);
      return matches.empty() ? 1 : 0;
    }
    // The format mail clients expect of an external address query: tabs
    // and line breaks within a field would break it.
    auto field = [&](const std::string& text) {
      std::string utf8 = ToUtf8(text, settings.encoding);
      for (char& c : utf8) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
      }
      return SafeText(utf8);
    };
    std::cout << "addrbook: " << matches.size() << " entries match\n";
    for (const Entry& e : matches) {
      std::cout << field(e.address) << "\t" << field(e.name) << "\t" << field(e.comment) << "\n";
    }
    return matches.empty() ? 1 : 0;
  }
  if (expand->parsed()) {
    auto wanted = BookText(settings, book, group);
    if (!wanted || !book.Entries(true)) return 1;
    std::vector<Entry> members = book.Members(*wanted, recursive);
    if (members.empty()) return book.Fail("no group named " + group + " has members");
    std::cout << Render(members, format, settings, false);
    return 0;
  }
  if (exporter->parsed()) {
    auto entries = book.Entries(true);
    if (!entries) return 1;
    std::vector<GroupMembers> members = AllGroupMembers(book, *entries);
    if (exportFormat == "vcard") std::cout << ExportVcard(*entries, members, settings.encoding);
    if (exportFormat == "csv") {
      std::cout << ExportCsv(*entries, members, settings.encoding, !noFormulaGuard);
    }
    if (exportFormat == "json") std::cout << ExportJson(*entries, members, settings.encoding);
    return 0;
  }
  if (importer->parsed()) {
    importOptions.input = *ParseEncoding(inputEncoding);
    return Import(book, settings, importPath, importOptions);
  }
  return 2;
}
