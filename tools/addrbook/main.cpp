// addrbook: a command-line address book over the ovel library.  Uses only
// the public header and the shared library, as any caller would.  This
// file reads the command line; each command is a function of commands.h.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "platform_text.h"

using namespace addrbook;

namespace {

constexpr const char* kVersion = ADDRBOOK_VERSION;  // the project's

// Names of the subcommands, to name an unknown one in a message.
constexpr const char* kCommands[] = {"list",   "add",  "delete", "expand", "export",
                                     "import", "find", "show",   "edit",   "mutt-query"};

// The first argument that is neither an option nor an option's value, when
// it names no command.
std::optional<std::string> UnknownCommand(const std::vector<std::string>& argv) {
  for (size_t i = 1; i < argv.size(); ++i) {
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

}  // namespace

int main(int argc, char** argv) {
  // The arguments as UTF-8 on Windows (from the wide command line), and
  // the console written in UTF-16; elsewhere argv in the locale's encoding.
  std::vector<std::string> arguments = CommandLine(argc, argv);
  bool console = WriteToConsole();
  CLI::App app{"addrbook: keep an address book (ADDRBOOK.DAT) in a directory"};
  app.set_version_flag("--version", kVersion);
  app.require_subcommand(1);
  // A file named "/tmp/x.csv" is a file, not an option, on Windows too.
  app.allow_windows_style_options(false);
  Settings settings;
  std::string encodingName = "cp1252";
  app.add_option("-d,--directory", settings.directory,
                 "Directory of the book (default: $ADDRBOOK_DIR, else the current directory)");
  app.add_option("--encoding", encodingName,
                 "Encoding of the book's text (default: $ADDRBOOK_ENCODING, else cp1252)")
      ->check(CLI::IsMember({"cp1252", "latin1", "utf8"}));
  auto formatOption = [](CLI::App* command, std::string& format) {
    command->add_option("--format", format, "table, csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}));
  };
  auto confirmOptions = [](CLI::App* command, Confirmation& confirmation) {
    command->add_flag("--yes", confirmation.yes, "Do not ask (else the answer is read from input)");
    command->add_option("--expect", confirmation.expected, "Refuse unless the entry is named so");
  };

  std::string format = "table";
  bool groups = false;
  CLI::App* list = app.add_subcommand("list", "List the book in surname order with view indexes");
  list->add_flag("--groups", groups, "Show groups as well as plain entries");
  formatOption(list, format);

  std::string name, address, comment;
  CLI::App* add =
      app.add_subcommand("add", "Add a plain entry (\"%\" in NAME joins surname words)");
  std::string name_help = "Name, at most " + std::to_string(OVEL_MAX_NAME) + " characters";
  std::string text_help = " at most " + std::to_string(OVEL_MAX_TEXT) + " characters";
  add->add_option("NAME", name, name_help)->required();
  add->add_option("ADDRESS", address, "Address," + text_help)->required();
  add->add_option("COMMENT", comment, "Comment," + text_help);

  EntryChoice choice;
  std::vector<int> deleteIndexes;
  std::vector<std::string> deleteNames;
  Confirmation confirmation;
  CLI::App* remove = app.add_subcommand(
      "delete", "Delete entries by their list indexes or names, all or none, in one save");
  remove->add_option("INDEX", deleteIndexes, "Indexes that one list showed");
  remove->add_flag("--groups", groups, "INDEX counts groups too, as list --groups shows");
  remove->add_option("--name", deleteNames, "Exact name, shown or stored (with %); repeatable")
      ->allow_extra_args(false);
  confirmOptions(remove, confirmation);

  std::string text;
  CLI::App* find =
      app.add_subcommand("find", "List the entries whose name, address or comment holds TEXT");
  find->add_option("TEXT", text, "Text to look for, in any case")->required();
  formatOption(find, format);
  CLI::App* query = app.add_subcommand(
      "mutt-query",
      "Answer a mail client's address query: a line, then address TAB name TAB comment");
  query->add_option("TEXT", text, "Text to look for, in any case")->required();

  CLI::App* show = app.add_subcommand("show", "Show one entry in full (a group with its members)");
  show->add_option("INDEX", choice.index, "Index that list shows");
  show->add_flag("--groups", choice.groups, "INDEX counts groups too, as list --groups shows");
  show->add_option("--name", choice.name, "Exact name, shown or stored (with %)");

  EntryChange change;
  CLI::App* edit = app.add_subcommand(
      "edit",
      "Change an entry (asks first): the new one is added, the old one deleted, in one save");
  edit->add_option("INDEX", choice.index, "Index that list shows");
  edit->add_flag("--groups", choice.groups, "INDEX counts groups too, as list --groups shows");
  edit->add_option("--name", choice.name, "Exact name, shown or stored (with %)");
  edit->add_option("--name-to", change.name, "New name (\"%\" joins surname words)");
  edit->add_option("--address", change.address, "New address");
  edit->add_option("--comment", change.comment, "New comment");
  confirmOptions(edit, confirmation);

  bool recursive = false;
  std::string group;
  CLI::App* expand = app.add_subcommand("expand", "List the members of a group");
  expand->add_option("GROUP", group, "Group name (any case)")->required();
  expand->add_flag("--recursive", recursive, "Replace nested groups by their members");
  formatOption(expand, format);

  std::string exportFormat;
  bool noFormulaGuard = false;
  CLI::App* exporter = app.add_subcommand("export", "Write the whole book with groups and members");
  exporter->add_flag("--no-formula-guard", noFormulaGuard,
                     "CSV: write fields as they are, without a ' before a leading = + - @");
  exporter->add_option("--format", exportFormat, "vcard, csv, json, ldif or mutt (alias file)")
      ->required()
      ->check(CLI::IsMember({"vcard", "csv", "json", "ldif", "mutt"}));

  std::string importPath, inputEncoding;
  ImportSettings importSettings;
  bool rawFields = false;
  CLI::App* importer = app.add_subcommand(
      "import",
      "Add the contacts of a file (CSV of this tool, Google, Outlook or Thunderbird; vCard; JSON;"
      " LDIF; mutt aliases) in one save");
  importer->add_option("FILE", importPath, "File to import, or - for standard input")->required();
  importer
      ->add_option("--input-encoding", inputEncoding,
                   "Encoding of the file (default: by its byte order mark, else UTF-8 if it is,"
                   " else cp1252)")
      ->check(CLI::IsMember({"utf8", "cp1252", "latin1"}));
  importer->add_option("--columns", importSettings.columns,
                       "CSV columns by header name or number from 1: name=COL,address=COL,"
                       "comment=COL (also given, middle, family, surname, phone)");
  importer->add_flag("--no-formula-guard", rawFields,
                     "CSV: take a leading ' as data, as export --no-formula-guard wrote it");
  importer->add_flag("--dry-run", importSettings.dryRun, "Report what would be added; add nothing");
  importer->add_flag("--allow-duplicates", importSettings.allowDuplicates,
                     "Add rows whose name and address the book already holds");

  bool utf8Output = false;
  app.add_flag("--utf8", utf8Output,
               "Write tables and messages in UTF-8 whatever the locale (or Windows code page)");
  if (std::optional<std::string> unknown = UnknownCommand(arguments)) {
    std::cerr << "addrbook: unknown command '" << *unknown
              << "' (commands: list, add, delete, find, show, edit, expand, export, import,"
                 " mutt-query)\n";
    return 2;
  }
  try {
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    app.parse(static_cast<int>(pointers.size()), pointers.data());
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
  settings.locale = CommandLineIsUtf8() ? LocaleEncoding::kUtf8 : TerminalEncoding();
  settings.output =
      utf8Output || console ? LocaleEncoding::kUtf8 : OutputEncoding(TerminalEncoding());
  if ((show->parsed() || edit->parsed()) && choice.index.has_value() == !choice.name.empty()) {
    std::cerr << "addrbook: name the entry by an INDEX or by --name NAME\n";
    return 2;
  }
  if (settings.directory.empty()) {
    const char* fromEnvironment = std::getenv("ADDRBOOK_DIR");
    settings.directory = fromEnvironment && *fromEnvironment ? fromEnvironment : ".";
  }
  BookAccess book(ArgumentText(settings, settings.directory));
  OutputOptions shown = Shown(settings);
  book.SetMessageEncoding(shown.utf8, static_cast<int>(shown.display));
  ConsoleTextIs(shown.utf8 ? Encoding::kUtf8 : shown.display);
  std::error_code ignored;
  std::filesystem::path directory = FilePath(settings.directory);
  if (!std::filesystem::exists(directory, ignored)) return book.Fail("no such directory");
  if (!std::filesystem::is_directory(directory, ignored)) return book.Fail("not a directory");
  std::string why;
  std::optional<std::string> libraryPath = LibraryPath(settings.directory, &why);
  if (!libraryPath) return book.Fail(why);
  book.SetLibraryPath(*libraryPath);
  if (!book.Open()) return 1;

  if (list->parsed()) return ListBook(book, settings, groups, format);
  if (add->parsed()) return AddEntry(book, settings, name, address, comment);
  if (remove->parsed()) {
    return DeleteEntries(book, settings, deleteIndexes, deleteNames, groups, confirmation);
  }
  if (show->parsed()) return ShowEntry(book, settings, choice);
  if (edit->parsed()) return EditEntry(book, settings, choice, change, confirmation);
  if (find->parsed()) return FindEntries(book, settings, text, format);
  if (query->parsed()) return AnswerMuttQuery(book, settings, text);
  if (expand->parsed()) return ExpandGroup(book, settings, group, recursive, format);
  if (exporter->parsed()) return ExportBook(book, settings, exportFormat, !noFormulaGuard);
  if (importer->parsed()) {
    if (!inputEncoding.empty()) importSettings.input = ParseEncoding(inputEncoding);
    importSettings.formulaGuard = !rawFields;
    return ImportFile(book, settings, importPath, importSettings);
  }
  return 2;
}
