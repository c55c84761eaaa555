// Entries as a table for a terminal: index, name, address, comment.
#pragma once

#include <string>
#include <vector>

#include "text/entry.h"
#include "text/escaping.h"

namespace addrbook {

// One line per entry, columns as wide as their widest text; narrowed to
// options.columns when that is set, cut text ending in an ellipsis.
std::string TableText(const std::vector<Entry>& entries, const OutputOptions& options);

}  // namespace addrbook
