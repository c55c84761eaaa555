// The commands that read the book: list, find, mutt-query, show, expand,
// and the names that completion offers.
#include <algorithm>
#include <iostream>
#include <set>

#include "commands/commands.h"
#include "text/search.h"

namespace addrbook {

int ListBook(BookAccess& book, const Settings& settings, bool groups, const std::string& format) {
  auto entries = book.Entries(groups);
  if (!entries) return 1;
  std::cout << Render(*entries, format, settings, true);
  return 0;
}

namespace {

// The entries (with groups when `groups`) that hold `text`, folded or
// exactly; nullopt (reported) when the book cannot be read.  No match is
// said on standard error.
std::optional<std::vector<Entry>> Matching(BookAccess& book, const Settings& settings,
                                           const Search& search, bool groups) {
  std::optional<std::string> wanted =
      search.exact ? BookText(settings, book, search.text) : ArgumentText(settings, search.text);
  if (!wanted) return std::nullopt;
  auto entries = book.Entries(true);
  if (!entries) return std::nullopt;
  TextMatcher matcher(*wanted, settings.encoding, search.exact);
  std::vector<Entry> matches;
  for (const Entry& e : *entries) {
    if (EntryMatches(e, matcher) && (groups || !e.group)) matches.push_back(e);
  }
  if (matches.empty()) {
    book.Fail("no entry holds " + ArgumentText(settings, search.text) +
              (search.exact ? " exactly" : ""));
  }
  return matches;
}

}  // namespace

int FindEntries(BookAccess& book, const Settings& settings, const Search& search,
                const std::string& format) {
  auto matches = Matching(book, settings, search, true);
  if (!matches) return 1;
  std::cout << Render(*matches, format, settings, true);
  return matches->empty() ? 1 : 0;
}

int AnswerMuttQuery(BookAccess& book, const Settings& settings, const Search& search) {
  auto matches = Matching(book, settings, search, false);
  if (!matches) return 1;
  // The format mail clients expect of an external address query: tabs
  // and line breaks within a field would break it.  In the locale's
  // encoding, as every other output.
  OutputOptions shown = Shown(settings);
  auto field = [&](std::string text) {
    for (char& c : text) {
      if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return ShownText(text, shown);
  };
  std::cout << "addrbook: " << matches->size()
            << (matches->size() == 1 ? " entry matches\n" : " entries match\n");
  for (const Entry& e : *matches) {
    std::cout << field(e.address) << "\t" << field(e.name) << "\t" << field(e.comment) << "\n";
  }
  return matches->empty() ? 1 : 0;
}

int CompleteNames(BookAccess& book, const Settings& settings, const std::string& prefix,
                  bool groupsOnly) {
  auto entries = book.Entries(true);
  if (!entries) return 1;
  TextMatcher matcher(DisplayName(ArgumentText(settings, prefix)), settings.encoding, false);
  OutputOptions shown = Shown(settings);
  std::set<std::string> offered;
  for (const Entry& e : *entries) {
    if (groupsOnly && !e.group) continue;
    if (!matcher.Begins(e.name) && !matcher.Begins(Surname(e))) continue;
    // A name with a control character cannot be typed: it is not offered.
    bool control = std::any_of(e.name.begin(), e.name.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    std::string name = ShownText(e.name, shown);
    if (!control && offered.insert(name).second) std::cout << name << "\n";
  }
  return 0;
}

int ShowEntry(BookAccess& book, const Settings& settings, const EntryChoice& choice) {
  auto entries = book.Entries(true);
  if (!entries) return 1;
  int target = ChosenPosition(book, settings, *entries, choice);
  if (target < 0) return 1;
  const Entry& entry = (*entries)[static_cast<size_t>(target)];
  OutputOptions shown = Shown(settings);
  std::optional<std::vector<Entry>> members;
  if (entry.group) {
    members = book.Expand(entry.name, false, ToUtf8(entry.name, settings.encoding));
    if (!members) return 1;
  }
  std::cout << "name:     " << ShownText(entry.name, shown) << "\n"
            << "surname:  " << ShownText(Surname(entry), shown) << "\n";
  if (!entry.group) std::cout << "address:  " << ShownText(entry.address, shown) << "\n";
  // A comment of several lines shows as lines, under one another.
  std::vector<std::string> lines = TextLines(entry.comment);
  for (size_t i = 0; !entry.comment.empty() && i < lines.size(); ++i) {
    std::cout << (i == 0 ? "comment:  " : "          ") << ShownText(lines[i], shown) << "\n";
  }
  if (entry.group) std::cout << "members:\n" << Render(*members, "table", settings, false);
  return 0;
}

int ExpandGroup(BookAccess& book, const Settings& settings, const std::string& group,
                bool recursive, const std::string& format) {
  auto wanted = BookText(settings, book, group);
  if (!wanted) return 1;
  auto members = book.Expand(*wanted, recursive, ArgumentText(settings, group));
  if (!members) return 1;
  // An empty group is no failure: nothing to list, and said so.
  if (members->empty()) book.Fail("the group " + ArgumentText(settings, group) + " has no members");
  std::cout << Render(*members, format, settings, false);
  return 0;
}

}  // namespace addrbook
