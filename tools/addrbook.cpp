// addrbook: a command-line address book over the ovel library.  Uses only
// the public header and the shared library, as any caller would.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "ovel.h"

namespace {

constexpr const char* kVersion = "1.0.0";

struct Entry {
  int index;
  bool group;
  int surnameOffset;
  std::string name, address, comment;
};

// Text in a book is 8-bit Windows-1252; JSON wants UTF-8.
std::string Cp1252ToUtf8(const std::string& text) {
  static const char16_t kHigh[32] = {
      0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  std::string out;
  for (unsigned char c : text) {
    char32_t code = c < 0x80 ? c : (c < 0xA0 ? kHigh[c - 0x80] : c);
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

// A field for a CSV file (RFC 4180); a leading character that a spreadsheet
// would run as a formula is neutralised with a quote mark.
std::string CsvField(std::string text) {
  if (!text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos) {
    text.insert(0, "'");
  }
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

class Book {
 public:
  explicit Book(std::string directory) : directory_(std::move(directory)) {}
  ~Book() {
    if (client_) OvelTerminate(client_);
  }
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  bool Open() {
    if (OvelInitialize(&client_, directory_.c_str())) return true;
    return Fail("the directory name cannot be used");
  }
  Client* client() const { return client_; }

  // Every entry, in the order and with the indexes a view gives them.
  std::optional<std::vector<Entry>> Entries(bool groups) {
    ViewHandle view = OvelInitView(client_, groups ? 1 : 0);
    if (!view) {
      Fail("the book cannot be read");
      return std::nullopt;
    }
    std::vector<Entry> entries;
    int count = OvelGetViewCount(view);
    for (int i = 0; i < count; ++i) {
      ViewItem* item = OvelGetViewItem(view, i);
      if (!item) {
        OvelFreeView(view);
        Fail("out of memory");
        return std::nullopt;
      }
      entries.push_back(
          {i, item->group != 0, item->surnameOffset, item->name, item->address, item->comment});
      OvelFreeItem(item);
    }
    OvelFreeView(view);
    return entries;
  }

  bool Fail(const std::string& why) const {
    std::cerr << "addrbook: " << directory_ << ": " << why << "\n";
    return false;
  }

 private:
  std::string directory_;
  Client* client_ = nullptr;
};

void PrintEntries(const std::vector<Entry>& entries, const std::string& format, bool indexes) {
  if (format == "json") {
    nlohmann::json list = nlohmann::json::array();
    for (const Entry& e : entries) {
      nlohmann::json item = {{"name", Cp1252ToUtf8(e.name)},
                             {"surname", Cp1252ToUtf8(e.name.substr(e.surnameOffset))},
                             {"group", e.group},
                             {"address", Cp1252ToUtf8(e.address)},
                             {"comment", Cp1252ToUtf8(e.comment)}};
      if (indexes) item["index"] = e.index;
      list.push_back(item);
    }
    std::cout << list.dump(2) << "\n";
  } else if (format == "csv") {
    std::cout << (indexes ? "index," : "") << "name,address,comment,group\r\n";
    for (const Entry& e : entries) {
      if (indexes) std::cout << e.index << ",";
      std::cout << CsvField(e.name) << "," << CsvField(e.address) << "," << CsvField(e.comment)
                << "," << (e.group ? 1 : 0) << "\r\n";
    }
  } else {
    size_t width = 4;
    for (const Entry& e : entries) width = std::max(width, e.name.size());
    for (const Entry& e : entries) {
      if (indexes) std::printf("%5d  ", e.index);
      std::printf("%c %-*s  %s%s%s\n", e.group ? '*' : ' ', static_cast<int>(width), e.name.c_str(),
                  e.group ? "(group)" : e.address.c_str(), e.comment.empty() ? "" : "  # ",
                  e.comment.c_str());
    }
  }
}

std::vector<Entry> Members(MemberItem* list) {
  std::vector<Entry> members;
  int index = 0;
  for (MemberItem* item = list; item; item = item->next) {
    members.push_back(
        {index++, item->group != 0, item->surnameOffset, item->name, item->address, item->comment});
  }
  OvelFreeGroup(list);
  return members;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"addrbook: keep an address book (ADDRBOOK.DAT) in a directory"};
  app.set_version_flag("--version", kVersion);
  app.require_subcommand(1);
  std::string directory;
  app.add_option("-d,--directory", directory,
                 "Directory of the book (default: $ADDRBOOK_DIR, else the current directory)");

  std::string format = "table";
  auto formats = CLI::IsMember({"table", "csv", "json"});
  bool groups = false;
  CLI::App* list = app.add_subcommand("list", "List the book in surname order with view indexes");
  list->add_flag("--groups", groups, "Show groups as well as plain entries");
  list->add_option("--format", format, "table, csv or json")->check(formats);

  std::string name, address, comment;
  CLI::App* add =
      app.add_subcommand("add", "Add a plain entry (\"%\" in NAME joins surname words)");
  add->add_option("NAME", name, "Name, at most 24 characters")->required();
  add->add_option("ADDRESS", address, "Address, at most 255 characters")->required();
  add->add_option("COMMENT", comment, "Comment, at most 255 characters");

  std::optional<int> index;
  std::string byName;
  CLI::App* remove = app.add_subcommand("delete", "Delete an entry by its list index or its name");
  remove->add_option("INDEX", index, "Index that list shows");
  remove->add_flag("--groups", groups, "INDEX counts groups too, as list --groups shows");
  remove->add_option("--name", byName, "Exact display name");

  bool recursive = false;
  std::string group;
  CLI::App* expand = app.add_subcommand("expand", "List the members of a group");
  expand->add_option("GROUP", group, "Group name (any case)")->required();
  expand->add_flag("--recursive", recursive, "Replace nested groups by their members");
  expand->add_option("--format", format, "table, csv or json")->check(formats);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    int code = app.exit(error);
    return code == 0 ? 0 : 2;
  }

  if (directory.empty()) {
    const char* fromEnvironment = std::getenv("ADDRBOOK_DIR");
    directory = fromEnvironment && *fromEnvironment ? fromEnvironment : ".";
  }
  Book book(directory);
  if (!book.Open()) return 1;

  if (list->parsed()) {
    auto entries = book.Entries(groups);
    if (!entries) return 1;
    PrintEntries(*entries, format, true);
    return 0;
  }
  if (add->parsed()) {
    if (name.size() > 24) return book.Fail("the name is longer than 24 characters"), 1;
    if (address.size() > 255) return book.Fail("the address is longer than 255 characters"), 1;
    if (comment.size() > 255) return book.Fail("the comment is longer than 255 characters"), 1;
    if (name.empty() || address.empty())
      return book.Fail("the name and address must not be empty"), 1;
    auto entries = book.Entries(true);
    if (!entries) return 1;
    if (entries->size() >= 4095) return book.Fail("the book is full (4095 entries)"), 1;
    if (!OvelAddItem(book.client(), name.c_str(), address.c_str(), comment.c_str())) {
      return book.Fail("the entry could not be saved"), 1;
    }
    std::cout << "added " << name << " <" << address << ">\n";
    return 0;
  }
  if (remove->parsed()) {
    if (index.has_value() == !byName.empty()) {
      std::cerr << "addrbook: delete takes an INDEX or --name NAME\n";
      return 2;
    }
    auto entries = book.Entries(groups || !byName.empty());
    if (!entries) return 1;
    int target = index.value_or(-1);
    if (!byName.empty()) {
      std::vector<Entry> matches;
      for (const Entry& e : *entries) {
        if (e.name == byName) matches.push_back(e);
      }
      if (matches.empty()) return book.Fail("no entry is named " + byName), 1;
      if (matches.size() > 1) {
        book.Fail("the name " + byName + " is ambiguous; delete by index (list --groups):");
        PrintEntries(matches, "table", true);
        return 1;
      }
      target = matches[0].index;
    }
    if (target < 0 || target >= static_cast<int>(entries->size())) {
      return book.Fail("no entry has index " + std::to_string(target)), 1;
    }
    ViewHandle view = OvelInitView(book.client(), groups || !byName.empty());
    bool deleted = view && OvelDeleteViewItem(view, target) == 1;
    if (view) OvelFreeView(view);
    if (!deleted) return book.Fail("the deletion could not be saved"), 1;
    std::cout << "deleted " << (*entries)[target].name << "\n";
    return 0;
  }
  if (expand->parsed()) {
    if (!book.Entries(true)) return 1;
    MemberItem* members = OvelExpandGroup(book.client(), group.c_str(), recursive ? 1 : 0);
    if (!members) return book.Fail("no group named " + group + " has members"), 1;
    PrintEntries(Members(members), format, false);
    return 0;
  }
  return 2;
}
