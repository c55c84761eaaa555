// The column names that address books and mail programs write in the
// header of their CSV exports, in the languages they export in.
#pragma once

#include <string>
#include <vector>

namespace addrbook {

enum class Field {
  kName,          // the whole name (Display Name, Full Name, Anzeigename ...)
  kGiven,         // First Name, Vorname, Prénom ...
  kMiddle,        // Middle Name, Weitere Vornamen ...
  kFamily,        // Last Name, Nachname, Nom ...
  kPrefix,        // Title, Anrede ...
  kSuffix,        // Suffix, Namenszusatz ...
  kSurname,       // this tool's: the part of the name that is the surname
  kAddress,       // the e-mail address
  kPhone,         // a phone number, for a contact without an e-mail address
  kComment,       // Notes, Notizen ...
  kGroup,         // this tool's: 1 for a group
  kOrganisation,  // Company, Organization, Firma ...: names a contact without a person's name
};
constexpr int kFieldCount = 12;

// The column of each field in a header (its names as FoldCase gives
// them), -1 where there is none.  Each field takes the first
// of its names, in the table's order, that the header holds.
std::vector<int> HeaderColumns(const std::vector<std::string>& header);

// What a phone column holds, in the order a contact without an e-mail
// address takes its phone: the one marked preferred, mobile, business,
// home, other.
enum class PhoneKind { kPreferred, kMobile, kBusiness, kHome, kOther };

struct PhoneColumn {
  int value;       // the column of the number
  int label = -1;  // Google's "Phone 1 - Type" or "- Label" beside it: the kind row by row
  PhoneKind kind;  // when there is no label
};

// Every phone column of a header (names as FoldCase gives them), in the
// header's order.
std::vector<PhoneColumn> PhoneColumns(const std::vector<std::string>& header);
// The kind a label of Google's names ("* Mobile", "Work", "Home" ...).
PhoneKind LabelKind(const std::string& label);

}  // namespace addrbook
