// The column names that address books and mail programs write in the
// header of their CSV exports, in the languages they export in.
#pragma once

#include <string>
#include <vector>

namespace addrbook {

enum class Field {
  kName,     // the whole name (Display Name, Full Name, Anzeigename ...)
  kGiven,    // First Name, Vorname, Prénom ...
  kMiddle,   // Middle Name, Weitere Vornamen ...
  kFamily,   // Last Name, Nachname, Nom ...
  kPrefix,   // Title, Anrede ...
  kSuffix,   // Suffix, Namenszusatz ...
  kSurname,  // this tool's: the part of the name that is the surname
  kAddress,  // the e-mail address
  kPhone,    // a phone number, for a contact without an e-mail address
  kComment,  // Notes, Notizen ...
  kGroup,    // this tool's: 1 for a group
};
constexpr int kFieldCount = 11;

// The column of each field in a header (its names in lower case, as
// Lower gives them), -1 where there is none.  Each field takes the first
// of its names, in the table's order, that the header holds.
std::vector<int> HeaderColumns(const std::vector<std::string>& header);

}  // namespace addrbook
