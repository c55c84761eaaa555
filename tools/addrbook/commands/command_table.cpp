// The table of commands: each command's name, help, options and runner,
// declared once.  The order is the order help lists them in.
#include <CLI/CLI.hpp>

#include "commands/commands.h"

namespace addrbook {
namespace {

// The formats a listing is written in: a table, or a format that lists.
std::vector<std::string> ListingFormats() {
  std::vector<std::string> names = {"table"};
  for (const Format* format : Formats()) {
    if (format->list) names.push_back(format->name);
  }
  return names;
}

std::vector<std::string> ExportFormats() {
  std::vector<std::string> names;
  for (const Format* format : Formats()) names.push_back(format->name);
  return names;
}

void FormatOption(CLI::App* command, Arguments& a) {
  command->add_option("--format", a.format, "table, csv or json")
      ->check(CLI::IsMember(ListingFormats()));
}

void ConfirmOptions(CLI::App* command, Arguments& a) {
  command->add_flag("--yes", a.confirmation.yes, "Do not ask (else the answer is read from input)");
  command->add_option("--expect", a.confirmation.expected, "Refuse unless the entry is named so");
}

void ChoiceOptions(CLI::App* command, Arguments& a) {
  command->add_option("INDEX", a.choice.index, "Index that list shows");
  command->add_flag("--groups", a.choice.groups, "INDEX counts groups too, as list --groups shows");
  command->add_option("--name", a.choice.name,
                      "Name, shown or stored (with %), in any case, accents or not");
}

void SearchOptions(CLI::App* command, Arguments& a) {
  command->add_option("TEXT", a.search.text, "Text to look for: in any case, without accents")
      ->required();
  command->add_flag("--exact", a.search.exact, "Match TEXT byte for byte");
}

// The names shell completion offers; hidden from help.
void DeclareCompleteName(CLI::App* c, Arguments& a) {
  c->group("");
  c->add_option("PREFIX", a.search.text, "Beginning of a name or surname, as find matches it");
  c->add_flag("--groups", a.groupsOnly, "Groups only");
}

std::string NoMisuse(const Arguments&) { return ""; }

std::string ChoiceMisuse(const Arguments& a) {
  return a.choice.index.has_value() == !a.choice.name.empty()
             ? "name the entry by an INDEX or by --name NAME"
             : "";
}

void DeclareAdd(CLI::App* add, Arguments& a) {
  std::string text_help = " at most " + std::to_string(OVEL_MAX_TEXT) + " characters";
  add->add_option("NAME", a.name, "Name, at most " + std::to_string(OVEL_MAX_NAME) + " characters")
      ->required();
  add->add_option("ADDRESS", a.address, "Address," + text_help)->required();
  add->add_option("COMMENT", a.comment, "Comment," + text_help);
}

void DeclareDelete(CLI::App* remove, Arguments& a) {
  remove->add_option("INDEX", a.indexes, "Indexes that one list showed");
  remove->add_flag("--groups", a.groups, "INDEX counts groups too, as list --groups shows");
  remove
      ->add_option("--name", a.names,
                   "Name, shown or stored (with %), in any case, accents or not; repeatable")
      ->allow_extra_args(false);
  ConfirmOptions(remove, a);
}

void DeclareEdit(CLI::App* edit, Arguments& a) {
  ChoiceOptions(edit, a);
  edit->add_option("--name-to", a.change.name, "New name (\"%\" joins surname words)");
  edit->add_option("--address", a.change.address, "New address");
  edit->add_option("--comment", a.change.comment, "New comment");
  ConfirmOptions(edit, a);
}

void DeclareExport(CLI::App* exporter, Arguments& a) {
  exporter->add_flag("--no-formula-guard", a.noFormulaGuard,
                     "CSV: write fields as they are, without a ' before a leading = + - @");
  exporter
      ->add_option("--format", a.exportFormat,
                   "vcard, csv, json, ldif, mutt (alias file) or abook (abook's own file)")
      ->required()
      ->check(CLI::IsMember(ExportFormats()));
  exporter->add_flag("--bom", a.bom,
                     "CSV: begin with a UTF-8 byte order mark, so that Excel reads it as UTF-8");
}

std::string ExportMisuse(const Arguments& a) {
  return a.bom && a.exportFormat != "csv" ? "--bom is for --format csv" : "";
}

void DeclareImport(CLI::App* importer, Arguments& a) {
  importer->add_option("FILE", a.importPath, "File to import, or - for standard input")->required();
  importer
      ->add_option("--input-encoding", a.inputEncoding,
                   "Encoding of the file (default: by its byte order mark, else UTF-8 if it is,"
                   " else cp1252)")
      ->check(CLI::IsMember({"utf8", "cp1252", "latin1"}));
  importer->add_option("--columns", a.import.columns,
                       "CSV columns by header name or number from 1: name=COL,address=COL,"
                       "comment=COL (also given, middle, family, surname, phone, organisation)");
  importer->add_flag("--no-formula-guard", a.noFormulaGuard,
                     "CSV: take a leading ' as data, as export --no-formula-guard wrote it");
  importer->add_flag("--dry-run", a.import.dryRun, "Report what would be added; add nothing");
  importer->add_flag("--allow-duplicates", a.import.allowDuplicates,
                     "Add rows whose name and address the book already holds");
}

// group and its own commands, each naming itself in `groupAction` when
// the command line holds it.
void DeclareGroup(CLI::App* group, Arguments& a) {
  group->require_subcommand(1);
  auto action = [&](const char* name, const char* help) {
    CLI::App* command = group->add_subcommand(name, help);
    command->callback([&a, name] { a.groupAction = name; });
    return command;
  };
  CLI::App* create = action("create", "Add an empty group");
  create->add_option("NAME", a.group, "Name of the group (\"%\" joins surname words)")->required();
  create->add_option("--comment", a.comment, "Comment");
  for (bool add : {true, false}) {
    CLI::App* change = action(add ? "add" : "remove",
                              add ? "Make entries members of a group, all or none, in one save"
                                  : "Take entries out of a group (asks first), in one save");
    change->add_option("GROUP", a.group, "Group name (any case)")->required();
    change->add_option("MEMBER", a.indexes, "Indexes that list shows");
    change->add_flag("--groups", a.groups, "MEMBER counts groups too, as list --groups shows");
    change->add_option("--name", a.names, "Exact name, shown or stored (with %); repeatable")
        ->allow_extra_args(false);
    if (!add) change->add_flag("--yes", a.confirmation.yes, "Do not ask");
  }
  CLI::App* remove = action("delete", "Delete a group (asks first); its members stay");
  remove->add_option("GROUP", a.group, "Group name (any case)")->required();
  remove->add_flag("--yes", a.confirmation.yes, "Do not ask");
  action("list", "List the groups with their numbers of members");
}

std::string GroupMisuse(const Arguments& a) {
  bool changes = a.groupAction == "add" || a.groupAction == "remove";
  return changes && a.indexes.empty() && a.names.empty()
             ? "name the members by INDEX or by --name NAME"
             : "";
}

int RunImport(BookAccess& book, const Settings& settings, const Arguments& a) {
  ImportSettings options = a.import;
  if (!a.inputEncoding.empty()) options.input = ParseEncoding(a.inputEncoding);
  options.formulaGuard = !a.noFormulaGuard;
  return ImportFile(book, settings, a.importPath, options);
}

using A = Arguments&;
using Run = const Arguments&;

const std::vector<Command> kCommands = {
    {"list", "List the book in surname order with view indexes", false,
     [](CLI::App* c, A a) {
       c->add_flag("--groups", a.groups, "Show groups as well as plain entries");
       FormatOption(c, a);
     },
     NoMisuse,
     [](BookAccess& b, const Settings& s, Run a) { return ListBook(b, s, a.groups, a.format); }},
    {"add", "Add a plain entry (\"%\" in NAME joins surname words)", false, DeclareAdd, NoMisuse,
     [](BookAccess& b, const Settings& s, Run a) {
       return AddEntry(b, s, a.name, a.address, a.comment);
     }},
    {"delete", "Delete entries by their list indexes or names, all or none, in one save", false,
     DeclareDelete, NoMisuse,
     [](BookAccess& b, const Settings& s, Run a) {
       return DeleteEntries(b, s, a.indexes, a.names, a.groups, a.confirmation);
     }},
    {"find", "List the entries whose name, address or comment holds TEXT", false,
     [](CLI::App* c, A a) {
       SearchOptions(c, a);
       FormatOption(c, a);
     },
     NoMisuse,
     [](BookAccess& b, const Settings& s, Run a) { return FindEntries(b, s, a.search, a.format); }},
    {"mutt-query",
     "Answer a mail client's address query: a line, then address TAB name TAB comment", true,
     SearchOptions, NoMisuse,
     [](BookAccess& b, const Settings& s, Run a) { return AnswerMuttQuery(b, s, a.search); }},
    {"show", "Show one entry in full (a group with its members)", false, ChoiceOptions,
     ChoiceMisuse,
     [](BookAccess& b, const Settings& s, Run a) { return ShowEntry(b, s, a.choice); }},
    {"edit", "Change an entry (asks first): the new one is added, the old one deleted, in one save",
     false, DeclareEdit, ChoiceMisuse,
     [](BookAccess& b, const Settings& s, Run a) {
       return EditEntry(b, s, a.choice, a.change, a.confirmation);
     }},
    {"expand", "List the members of a group", false,
     [](CLI::App* c, A a) {
       c->add_option("GROUP", a.group, "Group name (any case)")->required();
       c->add_flag("--recursive", a.recursive, "Replace nested groups by their members");
       FormatOption(c, a);
     },
     NoMisuse,
     [](BookAccess& b, const Settings& s, Run a) {
       return ExpandGroup(b, s, a.group, a.recursive, a.format);
     }},
    {"group", "Make groups and change their members: create, add, remove, delete, list", false,
     DeclareGroup, GroupMisuse, RunGroupCommand},
    {"export", "Write the whole book with groups and members", false, DeclareExport, ExportMisuse,
     [](BookAccess& b, const Settings& s, Run a) {
       return ExportBook(b, s, a.exportFormat, !a.noFormulaGuard, a.bom);
     }},
    {"import",
     "Add the contacts of a file (CSV of this tool, Google, Outlook or Thunderbird; vCard; JSON;"
     " LDIF; mutt aliases; abook) in one save",
     false, DeclareImport, NoMisuse, RunImport},
    {"complete-name", "", true, DeclareCompleteName, NoMisuse,
     [](BookAccess& b, const Settings& s, Run a) {
       return CompleteNames(b, s, a.search.text, a.groupsOnly);
     }},
};

}  // namespace

const std::vector<Command>& Commands() { return kCommands; }

}  // namespace addrbook
