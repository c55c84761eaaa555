#include "formats/entry_rules.h"

namespace addrbook {

const std::string kBookFull = "the book is full (" + std::to_string(OVEL_MAX_ENTRIES) + " entries)";

std::string AddRefusal(const std::string& name, const std::string& address,
                       const std::string& comment, size_t entries, Encoding encoding) {
  if (name.empty()) return "the name is empty";
  if (address.empty()) return "the address is empty";
  for (const std::string* field : {&name, &address, &comment}) {
    if (field->find('\0') != std::string::npos) return "a field holds a NUL character";
  }
  auto longer = [&](const char* field, size_t limit) {
    const char* unit = encoding == Encoding::kUtf8 ? " bytes (of UTF-8)" : " characters";
    return "the " + std::string(field) + " is longer than " + std::to_string(limit) + unit;
  };
  if (name.size() > kMaxName) return longer("name", kMaxName);
  if (address.size() > kMaxText) return longer("address", kMaxText);
  if (comment.size() > kMaxText) return longer("comment", kMaxText);
  if (entries >= kMaxEntries) return kBookFull;
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
  return BookEntry{std::move(*name), std::move(*address), std::move(*comment)};
}

}  // namespace addrbook
