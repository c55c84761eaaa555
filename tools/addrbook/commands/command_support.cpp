#include "commands/command_support.h"

#include <algorithm>
#include <iostream>

#include "text/folding.h"
#include "text/table.h"

namespace addrbook {

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

bool FindBookEncoding(BookAccess& book, Settings* settings) {
  auto entries = book.Entries(true);
  if (!entries) return false;
  std::string text;
  for (const Entry& e : *entries) text += e.name + "\n" + e.address + "\n" + e.comment + "\n";
  Encoding found = FoundEncoding(text);
  if (!settings->encodingGiven) {
    settings->encoding = found;
  } else if (settings->encoding == Encoding::kUtf8 && !IsUtf8(text)) {
    settings->otherText = "the book holds text that is not UTF-8, so it is not the utf8 given";
  } else if (settings->encoding != Encoding::kUtf8 && found == Encoding::kUtf8) {
    settings->otherText = "the book's text is UTF-8, not the encoding given";
  }
  return true;
}

std::optional<std::string> StoredText(const Settings& settings, const BookAccess& book,
                                      const std::string& argument) {
  bool ascii = std::all_of(argument.begin(), argument.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii && !settings.otherText.empty()) {
    book.Fail(settings.otherText + "; nothing is stored in another encoding than the book's");
    return std::nullopt;
  }
  return BookText(settings, book, argument);
}

std::string ArgumentText(const Settings& settings, const std::string& argument) {
  if (settings.locale == LocaleEncoding::kLatin1) return ToUtf8(argument, Encoding::kLatin1);
  if (settings.locale == LocaleEncoding::kCp1252) return ToUtf8(argument, Encoding::kCp1252);
  return argument;
}

std::string DisplayName(std::string name) {
  for (char& c : name) {
    if (c == '%') c = ' ';
  }
  return name;
}

OutputOptions Shown(const Settings& settings) {
  OutputOptions shown;
  shown.encoding = settings.encoding;
  // A Latin-1 or Windows-1252 terminal is written in its own encoding; any
  // other in UTF-8.
  shown.utf8 =
      settings.output != LocaleEncoding::kLatin1 && settings.output != LocaleEncoding::kCp1252;
  shown.display =
      settings.output == LocaleEncoding::kLatin1 ? Encoding::kLatin1 : Encoding::kCp1252;
  return shown;
}

std::string Render(const std::vector<Entry>& entries, const std::string& format,
                   const Settings& settings, bool showIndex) {
  OutputOptions options = Shown(settings);
  options.showIndex = showIndex;
  if (const Format* listing = FormatNamed(format); listing && listing->list) {
    return listing->list(entries, options);
  }
  options.highlight = MayHighlight(stdout);
  options.markLineBreaks = true;
  options.columns = TerminalColumns();
  return TableText(entries, options);
}

bool Confirmed(const std::string& question, bool yes) {
  if (yes) return true;
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::cerr << "(no answer)\n";
    return false;
  }
  // The answer without the blanks around it, in any case.
  size_t first = answer.find_first_not_of(" \t\r"), last = answer.find_last_not_of(" \t\r");
  std::string word = first == std::string::npos ? "" : answer.substr(first, last - first + 1);
  for (char& c : word) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  return word == "y" || word == "yes";
}

int ListedPosition(const BookAccess& book, const std::vector<Entry>& entries, int index,
                   bool groups) {
  int counted = 0;
  for (const Entry& e : entries) {
    if ((groups || !e.group) && counted++ == index) return e.index;
  }
  book.Fail("no entry has index " + std::to_string(index));
  return -1;
}

int FindByName(const BookAccess& book, const Settings& settings, const std::vector<Entry>& entries,
               const std::string& byName) {
  std::string wanted = DisplayName(ArgumentText(settings, byName));
  TextMatcher matcher(wanted, settings.encoding, false);
  std::string error;
  std::optional<std::string> exact = FromUtf8(wanted, settings.encoding, &error);
  std::vector<Entry> matches, exactMatches;
  for (const Entry& e : entries) {
    if (!matcher.Equals(e.name)) continue;
    matches.push_back(e);
    if (exact && e.name == *exact) exactMatches.push_back(e);
  }
  if (matches.size() > 1 && !exactMatches.empty()) matches = exactMatches;
  if (matches.empty()) {
    book.Fail("no entry is named " + ArgumentText(settings, byName));
    return -1;
  }
  if (matches.size() == 1) return matches[0].index;
  // The indexes a command takes: as list shows them, or as list --groups
  // does when a group is among them.
  bool groups = std::any_of(matches.begin(), matches.end(), [](const Entry& e) { return e.group; });
  std::vector<Entry> numbered = matches;
  for (Entry& match : numbered) {
    int index = 0;
    for (const Entry& e : entries) {
      if (e.index == match.index) break;
      if (groups || !e.group) ++index;
    }
    match.index = index;
  }
  book.Fail("the name " + ArgumentText(settings, byName) + " is ambiguous; name the entry by " +
            (groups ? "its index with --groups (as list --groups shows it):"
                    : "its index (as list shows it):"));
  std::cerr << Render(numbered, "table", settings, true);
  return -1;
}

int ChosenPosition(const BookAccess& book, const Settings& settings,
                   const std::vector<Entry>& entries, const EntryChoice& choice) {
  return choice.index ? ListedPosition(book, entries, *choice.index, choice.groups)
                      : FindByName(book, settings, entries, choice.name);
}

}  // namespace addrbook
