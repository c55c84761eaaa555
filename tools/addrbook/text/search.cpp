#include "text/search.h"

#include <algorithm>

namespace addrbook {

bool EntryMatches(const Entry& entry, const TextMatcher& matcher) {
  return matcher.Holds(entry.name) || (!entry.group && matcher.Holds(entry.address)) ||
         matcher.Holds(entry.comment);
}

std::string StoredName(const Entry& entry) {
  std::string name = entry.name;
  size_t offset = std::min<size_t>(static_cast<size_t>(entry.surnameOffset), name.size());
  size_t end = name.find_last_not_of(' ');
  for (size_t i = offset; end != std::string::npos && i < end; ++i) {
    if (name[i] == ' ') name[i] = '%';
  }
  return name;
}

}  // namespace addrbook
