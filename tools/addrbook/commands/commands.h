// The tool's commands: each declared once, in the table of commands
// (command_table.cpp), with its options and the function that runs it.
// main.cpp reads the command line through the table and runs the command
// it names.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "commands/book_access.h"
#include "commands/command_support.h"

namespace CLI {
class App;
}

namespace addrbook {

struct Confirmation {
  bool yes = false;      // do not ask
  std::string expected;  // refuse unless the entry is named so
};

// What find and mutt-query look for.
struct Search {
  std::string text;
  bool exact = false;  // byte for byte, else in any case and without accents
};

struct EntryChange {
  std::optional<std::string> name, address, comment;
};

struct ImportSettings {
  std::optional<Encoding> input;  // of the file; else by its byte order mark or its bytes
  std::string columns;            // --columns
  bool dryRun = false;
  bool allowDuplicates = false;
  bool formulaGuard = true;  // CSV of this tool: a leading ' is its formula guard
};

// What the command line gives the commands; an option that several
// commands take is one field.
struct Arguments {
  std::string format = "table";  // list, find, expand
  bool groups = false;           // list, delete
  std::string name, address, comment;
  std::vector<int> indexes;        // delete
  std::vector<std::string> names;  // delete --name
  Confirmation confirmation;       // delete, edit
  Search search;                   // find, mutt-query, complete-name
  bool groupsOnly = false;         // complete-name
  EntryChoice choice;              // show, edit
  EntryChange change;              // edit
  bool recursive = false;          // expand
  std::string group;               // expand, group
  std::string groupAction;         // group: create, add, remove, delete or list
  std::string exportFormat;        // export
  bool noFormulaGuard = false;     // export, import
  bool bom = false;                // export
  std::string importPath, inputEncoding;
  ImportSettings import;
};

struct Command {
  const char* name;
  const char* help;
  bool forPrograms;  // answers another program (a mail client), not a person
  // Adds the command's options and arguments, bound to `arguments`.
  void (*declare)(CLI::App* command, Arguments& arguments);
  // A misuse found before the book is opened, or "".
  std::string (*misuse)(const Arguments& arguments);
  int (*run)(BookAccess& book, const Settings& settings, const Arguments& arguments);
};

// The commands, in the order help lists them.
const std::vector<Command>& Commands();
// The commands' names for a message: people's commands first, then those
// that answer other programs (hidden ones left out).
std::string CommandNames();
// What a parse of the command line left over, said with the close match
// that was probably meant; "" when nothing was left over.
std::string Mistyped(const CLI::App& app);

// Read commands.
int ListBook(BookAccess& book, const Settings& settings, bool groups, const std::string& format);
int FindEntries(BookAccess& book, const Settings& settings, const Search& search,
                const std::string& format);
int AnswerMuttQuery(BookAccess& book, const Settings& settings, const Search& search);
// The names (of groups only when `groupsOnly`) whose name or surname
// begins with `prefix` as find matches text, each once, a line each, for
// shell completion.
int CompleteNames(BookAccess& book, const Settings& settings, const std::string& prefix,
                  bool groupsOnly);
int ShowEntry(BookAccess& book, const Settings& settings, const EntryChoice& choice);
int ExpandGroup(BookAccess& book, const Settings& settings, const std::string& group,
                bool recursive, const std::string& format);

// Change commands.
int AddEntry(BookAccess& book, const Settings& settings, const std::string& name,
             const std::string& address, const std::string& comment);
int DeleteEntries(BookAccess& book, const Settings& settings, const std::vector<int>& indexes,
                  const std::vector<std::string>& names, bool groups,
                  const Confirmation& confirmation);
int EditEntry(BookAccess& book, const Settings& settings, const EntryChoice& choice,
              const EntryChange& change, const Confirmation& confirmation);

// group create, add, remove, delete and list, as groupAction names.
int RunGroupCommand(BookAccess& book, const Settings& settings, const Arguments& arguments);

// Export and import.
// Each thing a format cannot carry is said on standard error, entry by
// entry, and the exit status is then 1.
int ExportBook(BookAccess& book, const Settings& settings, const std::string& format,
               bool formulaGuard, bool bom);
int ImportFile(BookAccess& book, const Settings& settings, const std::string& path,
               const ImportSettings& options);

}  // namespace addrbook
