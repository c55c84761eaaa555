// One entry of a book in book text (8-bit), as a view lists it.
#pragma once

#include <algorithm>
#include <string>

namespace addrbook {

struct Entry {
  int index;  // in the view that listed it
  bool group;
  int surnameOffset;
  std::string name, address, comment;
};

// Where the surname begins in the entry's name.
inline size_t SurnameStart(const Entry& e) {
  return std::min<size_t>(static_cast<size_t>(e.surnameOffset), e.name.size());
}
// The surname: the name from its offset on.
inline std::string Surname(const Entry& e) { return e.name.substr(SurnameStart(e)); }
// The given names: the name before the surname, without trailing blanks.
inline std::string GivenNames(const Entry& e) {
  std::string given = e.name.substr(0, SurnameStart(e));
  while (!given.empty() && given.back() == ' ') given.pop_back();
  return given;
}

}  // namespace addrbook
