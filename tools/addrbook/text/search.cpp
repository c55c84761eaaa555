#include "text/search.h"

#include <algorithm>

namespace addrbook {
namespace {

unsigned char Folded(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  return c;
}

bool Holds(const std::string& haystack, const std::string& needle) {
  auto same = [](char a, char b) {
    return Folded(static_cast<unsigned char>(a)) == Folded(static_cast<unsigned char>(b));
  };
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(), same) !=
         haystack.end();
}

}  // namespace

bool EntryMatches(const Entry& entry, const std::string& text) {
  return Holds(entry.name, text) || (!entry.group && Holds(entry.address, text)) ||
         Holds(entry.comment, text);
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
