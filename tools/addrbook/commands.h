// The addrbook tool's commands, and what they share: the settings of a
// run, arguments converted to book text, the numbering that list shows,
// confirmation.  main.cpp parses the command line and calls one of them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "book_access.h"
#include "entry_rules.h"
#include "output.h"
#include "terminal.h"
#include "text_encoding.h"

namespace addrbook {

struct Settings {
  std::string directory;
  Encoding encoding = Encoding::kCp1252;          // of the book's text
  LocaleEncoding locale = LocaleEncoding::kUtf8;  // of arguments
  LocaleEncoding output = LocaleEncoding::kUtf8;  // of tables and messages on standard output
};

// An argument in the book's encoding; nullopt (reported) when it cannot be.
// No byte is stored that was not converted from a known encoding.
std::optional<std::string> BookText(const Settings& settings, const BookAccess& book,
                                    const std::string& argument);

// An argument as UTF-8, for a message.
std::string ArgumentText(const Settings& settings, const std::string& argument);

// A name as the book shows it: "%" joins surname words and shows as a space.
std::string DisplayName(std::string name);

// How book text is shown on standard output (a terminal or not): in the
// locale's encoding, escaped.
OutputOptions Shown(const Settings& settings);
// Entries as a table (for a terminal), CSV or JSON.
std::string Render(const std::vector<Entry>& entries, const std::string& format,
                   const Settings& settings, bool showIndex);

// Asks `question` on standard error and reads the answer from standard
// input (a terminal or not): true for "y" or "yes"; end of input or any
// other answer is no.  True at once when `yes`.
bool Confirmed(const std::string& question, bool yes);

// The position in `entries` (a listing with groups) of what `list` shows
// at `index`: groups counted when `groups`, as list --groups shows them,
// else plain entries only; -1 (reported) when it shows nothing there.
int ListedPosition(const BookAccess& book, const std::vector<Entry>& entries, int index,
                   bool groups);

// The entry named `byName` (stored form or as shown) in `entries`; -1
// (reported) when there is none or the name is ambiguous.
int FindByName(const BookAccess& book, const Settings& settings, const std::vector<Entry>& entries,
               const std::string& byName);

// The direct members of every group, as indexes of `entries`.
std::vector<GroupMembers> AllGroupMembers(BookAccess& book, const std::vector<Entry>& entries);

// Closes a view at the end of a scope.
struct ViewCloser {
  ViewHandle view;
  ~ViewCloser() { OvelFreeView(view); }
};

// How a command names its entry: an index of list (with --groups or not),
// or a name.
struct EntryChoice {
  std::optional<int> index;
  std::string name;
  bool groups = false;
};

// Read commands.
int ListBook(BookAccess& book, const Settings& settings, bool groups, const std::string& format);
int FindEntries(BookAccess& book, const Settings& settings, const std::string& text,
                const std::string& format);
int AnswerMuttQuery(BookAccess& book, const Settings& settings, const std::string& text);
int ShowEntry(BookAccess& book, const Settings& settings, const EntryChoice& choice);
int ExpandGroup(BookAccess& book, const Settings& settings, const std::string& group,
                bool recursive, const std::string& format);
int ExportBook(BookAccess& book, const Settings& settings, const std::string& format,
               bool formulaGuard);

// Change commands.
int AddEntry(BookAccess& book, const Settings& settings, const std::string& name,
             const std::string& address, const std::string& comment);
struct Confirmation {
  bool yes = false;      // do not ask
  std::string expected;  // refuse unless the entry is named so
};
int DeleteEntries(BookAccess& book, const Settings& settings, const std::vector<int>& indexes,
                  const std::vector<std::string>& names, bool groups,
                  const Confirmation& confirmation);
struct EntryChange {
  std::optional<std::string> name, address, comment;
};
int EditEntry(BookAccess& book, const Settings& settings, const EntryChoice& choice,
              const EntryChange& change, const Confirmation& confirmation);

// Import.
struct ImportSettings {
  std::optional<Encoding> input;  // of the file; else by its byte order mark or its bytes
  std::string columns;            // --columns
  bool dryRun = false;
  bool allowDuplicates = false;
  bool formulaGuard = true;  // CSV of this tool: a leading ' is its formula guard
};
int ImportFile(BookAccess& book, const Settings& settings, const std::string& path,
               const ImportSettings& options);

}  // namespace addrbook
