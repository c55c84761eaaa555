// LDIF (RFC 2849), as Thunderbird and other address books export it:
// inetOrgPerson records for people, groupOfNames for groups.
#pragma once

#include <string>
#include <vector>

#include "import.h"
#include "output.h"

namespace addrbook {

// True when the text begins (after comments) with "version:" or "dn:".
bool IsLdifText(const std::string& text);
// The records of an LDIF file: the name from cn (the whole name), givenName
// and sn (the surname); the address from mail, else a phone number, else
// street; the comment from description.  groupOfNames records are groups.
void ReadLdifRows(const std::string& text, std::vector<ImportRow>* rows);

// The whole book as LDIF: values that are not plain ASCII in base64.
std::string ExportLdif(const std::vector<Entry>& entries, const std::vector<GroupMembers>& groups,
                       Encoding encoding);

}  // namespace addrbook
