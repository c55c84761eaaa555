// The table of formats.
#include "formats/format.h"

namespace addrbook {

// Each format's row, defined in the format's own file.
extern const Format kCsvFormat, kJsonFormat, kVcardFormat, kLdifFormat, kMuttFormat, kAbookFormat;

const std::vector<const Format*>& Formats() {
  static const std::vector<const Format*> kFormats = {&kVcardFormat, &kCsvFormat,  &kJsonFormat,
                                                      &kLdifFormat,  &kMuttFormat, &kAbookFormat};
  return kFormats;
}

const Format* FormatNamed(const std::string& name) {
  for (const Format* format : Formats()) {
    if (name == format->name) return format;
  }
  return nullptr;
}

// No text is of two formats that detect it: which of them comes first
// makes no difference.
const Format& DetectedFormat(const std::string& text) {
  const Format* fallback = nullptr;
  for (const Format* format : Formats()) {
    if (!format->detect) {
      fallback = format;
    } else if (format->detect(text)) {
      return *format;
    }
  }
  return *fallback;
}

std::vector<int> WholeBook::MembersOf(const Entry& group) const {
  std::vector<int> found;
  for (const GroupMembers& g : groups) {
    if (g.group != group.index) continue;
    for (int m : g.members) {
      if (m >= 0) found.push_back(m);
    }
  }
  return found;
}

}  // namespace addrbook
