// What the commands share: the settings of a run, arguments converted to
// book text, the numbering that list shows, confirmation.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "commands/book_access.h"
#include "formats/format.h"
#include "text/encoding.h"
#include "text/terminal.h"

namespace addrbook {

struct Settings {
  std::string directory;
  Encoding encoding = Encoding::kCp1252;  // of the book's text
  bool encodingGiven = false;             // by --encoding or $ADDRBOOK_ENCODING
  std::string otherText;                  // when given: why the book's own text says otherwise
  LocaleEncoding locale = LocaleEncoding::kUtf8;  // of arguments
  LocaleEncoding output = LocaleEncoding::kUtf8;  // of tables and messages on standard output
};

// An argument in the book's encoding; nullopt (reported) when it cannot be.
// No byte is stored that was not converted from a known encoding.
std::optional<std::string> BookText(const Settings& settings, const BookAccess& book,
                                    const std::string& argument);

// Sets the book's encoding, unless given, from its text (FoundEncoding);
// false (reported) when the book cannot be read.  When one was given and
// the text says otherwise, `otherText` tells so, and nothing is stored.
bool FindBookEncoding(BookAccess& book, Settings* settings);

// An argument to be stored, in the book's encoding: as BookText, and
// refused (reported) when the book's text is in another encoding than the
// one given (`otherText`) and the argument is not ASCII.
std::optional<std::string> StoredText(const Settings& settings, const BookAccess& book,
                                      const std::string& argument);

// An argument as UTF-8, for a message.
std::string ArgumentText(const Settings& settings, const std::string& argument);

// A name as the book shows it: "%" joins surname words and shows as a space.
std::string DisplayName(std::string name);

// How book text is shown on standard output (a terminal or not): in the
// locale's encoding, escaped.
OutputOptions Shown(const Settings& settings);
// Entries as a table (for a terminal), or in a format that lists them
// (CSV, JSON).
std::string Render(const std::vector<Entry>& entries, const std::string& format,
                   const Settings& settings, bool showIndex);

// Asks `question` on standard error and reads the answer from standard
// input (a terminal or not): true for "y" or "yes" in any case; end of
// input or any other answer is no.  True at once when `yes`.
bool Confirmed(const std::string& question, bool yes);

// The position in `entries` (a listing with groups) of what `list` shows
// at `index`: groups counted when `groups`, as list --groups shows them,
// else plain entries only; -1 (reported) when it shows nothing there.
int ListedPosition(const BookAccess& book, const std::vector<Entry>& entries, int index,
                   bool groups);

// The entry named `byName` (stored form or as shown) in `entries`, as find
// matches text (in any case, without accents) but whole; of several, the
// one named byte for byte.  -1 (reported) when there is none, or when the
// name is ambiguous: the entries are then listed with the indexes a
// command takes for them (as list shows them, or with --groups when one is
// a group).
int FindByName(const BookAccess& book, const Settings& settings, const std::vector<Entry>& entries,
               const std::string& byName);

// How a command names its entry: an index of list (with --groups or not),
// or a name.
struct EntryChoice {
  std::optional<int> index;
  std::string name;
  bool groups = false;
};

// The entry a choice names in `entries`; -1 (reported) when none.
int ChosenPosition(const BookAccess& book, const Settings& settings,
                   const std::vector<Entry>& entries, const EntryChoice& choice);

}  // namespace addrbook
