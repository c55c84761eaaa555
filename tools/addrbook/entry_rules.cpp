#include "entry_rules.h"

namespace addrbook {

std::string AddRefusal(const std::string& name, const std::string& address,
                       const std::string& comment, size_t entries, Encoding encoding) {
  std::string unit = encoding == Encoding::kUtf8 ? " bytes (of UTF-8)" : " characters";
  if (name.empty()) return "the name is empty";
  if (address.empty()) return "the address is empty";
  for (const std::string* field : {&name, &address, &comment}) {
    if (field->find('\0') != std::string::npos) return "a field holds a NUL character";
  }
  if (name.size() > kMaxName) return "the name is longer than 24" + unit;
  if (address.size() > kMaxText) return "the address is longer than 255" + unit;
  if (comment.size() > kMaxText) return "the comment is longer than 255" + unit;
  if (entries >= kMaxEntries) return "the book is full (4095 entries)";
  return "";
}

std::optional<BookEntry> BookEntryOf(const ImportRow& row, Encoding encoding, size_t entries,
                                     std::string* why) {
  *why = row.refused;
  if (!why->empty()) return std::nullopt;
  // Each conversion that fails leaves its reason in `why`.
  auto name = FromUtf8(row.name, encoding, why);
  auto address = name ? FromUtf8(row.address, encoding, why) : std::nullopt;
  auto comment = address ? FromUtf8(row.comment, encoding, why) : std::nullopt;
  if (!comment) return std::nullopt;
  *why = AddRefusal(*name, *address, *comment, entries, encoding);
  if (!why->empty()) return std::nullopt;
  return BookEntry{*name, *address, *comment};
}

}  // namespace addrbook
