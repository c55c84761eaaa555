// What the book holds: its limits, and the entry an imported row gives.
// Whatever reaches the library's add call has passed through here.
#pragma once

#include <optional>
#include <string>

#include "formats/format.h"
#include "ovel.h"
#include "text/encoding.h"

namespace addrbook {

// The book's limits, in bytes of its encoding.
constexpr size_t kMaxName = OVEL_MAX_NAME;
constexpr size_t kMaxText = OVEL_MAX_TEXT;
constexpr size_t kMaxEntries = OVEL_MAX_ENTRIES;
// "the book is full (N entries)", N being OVEL_MAX_ENTRIES
extern const std::string kBookFull;

// Why an entry cannot be added to a book of `entries` entries, or "" when
// it can.  Lengths are counted in the unit the book counts them in:
// characters of an 8-bit encoding, bytes of UTF-8.
std::string AddRefusal(const std::string& name, const std::string& address,
                       const std::string& comment, size_t entries, Encoding encoding);

// An entry in book text.
struct BookEntry {
  std::string name, address, comment;
};

// The entry an imported row gives in a book of `encoding` holding
// `entries` entries; nullopt (with `why`) when the row is refused, does
// not convert, or does not fit.  Not for groups.
std::optional<BookEntry> BookEntryOf(const ImportRow& row, Encoding encoding, size_t entries,
                                     std::string* why);

}  // namespace addrbook
