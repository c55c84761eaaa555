#include "text/table.h"

#include <algorithm>
#include <cstdio>

namespace addrbook {
namespace {

size_t Width(const std::string& text, const OutputOptions& options) {
  return options.utf8 ? Utf8Width(text) : text.size();
}

std::string Cut(const std::string& text, size_t width, const OutputOptions& options) {
  if (Width(text, options) <= width) return text;
  // An ellipsis where the text is cut (one column).
  std::string mark = options.utf8 ? "\xE2\x80\xA6" : "~";
  if (width <= 1) return width ? mark : "";
  return (options.utf8 ? Utf8Prefix(text, width - 1) : text.substr(0, width - 1)) + mark;
}

std::string Pad(const std::string& text, size_t width, const OutputOptions& options) {
  size_t have = Width(text, options);
  return text + std::string(have < width ? width - have : 0, ' ');
}

std::string AddressColumn(const Entry& e) { return e.group ? "(group)" : e.address; }

struct Widths {
  size_t name = 4, address = 7, comment = 0;
};

// The columns as wide as their widest text, then the widest narrowed a
// column at a time until a row fits the terminal.
Widths ColumnWidths(const std::vector<Entry>& entries, const OutputOptions& options) {
  Widths w;
  for (const Entry& e : entries) {
    w.name = std::max(w.name, Width(ShownText(e.name, options), options));
    w.address = std::max(w.address, Width(ShownText(AddressColumn(e), options), options));
    w.comment = std::max(w.comment, Width(ShownText(e.comment, options), options));
  }
  if (options.columns <= 0) return w;
  size_t fixed = (options.showIndex ? 7 : 0) + 2;
  size_t room = static_cast<size_t>(options.columns);
  auto total = [&] { return fixed + w.name + 2 + w.address + (w.comment ? 2 + w.comment : 0); };
  while (total() > room) {
    size_t* widest = &w.name;
    if (w.address > *widest) widest = &w.address;
    if (w.comment >= *widest) widest = &w.comment;
    if (*widest <= 1) break;
    --*widest;
  }
  return w;
}

// The name padded to its column; the surname (from its offset on) in bold
// when highlighting and the name was not cut.
std::string NameColumn(const Entry& e, size_t width, const OutputOptions& options) {
  std::string whole = ShownText(e.name, options);
  std::string name = Cut(whole, width, options);
  std::string padded = Pad(name, width, options);
  if (!options.highlight) return padded;
  std::string given = ShownText(e.name.substr(0, SurnameStart(e)), options);
  if (name != whole || given.size() > padded.size()) return padded;
  return given + "\x1b[1m" + padded.substr(given.size(), name.size() - given.size()) + "\x1b[0m" +
         padded.substr(name.size());
}

}  // namespace

std::string TableText(const std::vector<Entry>& entries, const OutputOptions& options) {
  Widths w = ColumnWidths(entries, options);
  std::string out;
  for (const Entry& e : entries) {
    std::string line;
    if (options.showIndex) {
      char index[16];
      std::snprintf(index, sizeof index, "%5d  ", e.index);
      line += index;
    }
    line += e.group ? "* " : "  ";
    line += NameColumn(e, w.name, options) + "  ";
    line += Pad(Cut(ShownText(AddressColumn(e), options), w.address, options), w.address, options);
    if (!e.comment.empty()) line += "  " + Cut(ShownText(e.comment, options), w.comment, options);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

}  // namespace addrbook
