// Shared by the fuzz targets of the addrbook tool's formats: a book's
// entries written by every format and read back.
#pragma once

#include <vector>

#include "text/encoding.h"
#include "text/entry.h"

namespace ovel_fuzz {

// An entry a book lists for a stored name ("%" joins surname words), as
// the library makes it.
addrbook::Entry Listed(int index, const std::string& stored, const std::string& address,
                       const std::string& comment);

// Every format writes the entries (book text in `encoding`, plain entries
// as a book lists them) and reads them back: each entry the writer did
// not tell of comes back the same (name, surname, address, comment), and
// only those it told it left out give no row.  Fails otherwise.
void CheckFormatRoundTrips(const std::vector<addrbook::Entry>& entries,
                           addrbook::Encoding encoding);

}  // namespace ovel_fuzz
