// Names for contacts that have no person's name: an organisation's, or
// the address itself (collected addresses, mailing lists).
#include <cstring>

#include "formats/format_support.h"
#include "ovel.h"
#include "text/encoding.h"

namespace addrbook {
namespace {

constexpr size_t kNameCharacters = OVEL_MAX_NAME;

// The text cut to at most `limit` characters before one of `breaks` (the
// break itself and blanks before it left out); cut within a word only
// when no break comes early enough.
std::string ShortenedAt(const std::string& text, size_t limit, const char* breaks) {
  size_t end = 0;  // the byte after `limit` characters
  for (size_t count = 0; end < text.size() && count < limit; ++count) {
    char32_t code;
    NextCharacter(text, &end, &code);
  }
  if (end >= text.size()) return text;
  size_t cut = end;
  if (!std::strchr(breaks, text[end])) {
    size_t found = text.substr(0, end).find_last_of(breaks);
    if (found != std::string::npos && found > 0) cut = found;
  }
  std::string shortened = text.substr(0, cut);
  while (!shortened.empty() && std::strchr(breaks, shortened.back())) shortened.pop_back();
  return shortened.empty() ? text.substr(0, end) : shortened;
}

}  // namespace

void OrganisationName(const std::string& organisation, ImportRow* row) {
  std::string name = Trimmed(organisation);
  if (name.find('%') != std::string::npos) {
    row->refused = "the organisation's name holds \"%\", which the book would take for a join";
    return;
  }
  std::string shortened = ShortenedAt(name, kNameCharacters, " \t");
  if (shortened != name) row->shortened = "the end of the organisation's name";
  row->name = Joined(shortened);
}

void NameByAddress(ImportRow* row) {
  std::string address = Trimmed(row->address);
  size_t end = 0;
  while (end < address.size() && address[end] != '%' &&
         static_cast<unsigned char>(address[end]) >= 0x20 && address[end] != 0x7F) {
    ++end;
  }
  address.resize(end);
  address = Trimmed(address);
  if (address.empty()) return;
  std::string shortened = ShortenedAt(address, kNameCharacters, "@.-_+ ");
  if (shortened != address) row->shortened = "the end of the address";
  row->name = Joined(shortened);
}

}  // namespace addrbook
