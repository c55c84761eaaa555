// Reading entries to import: CSV in the tool's own shape and in the shapes
// of Google Contacts, Outlook and Thunderbird exports.
#pragma once

#include <string>
#include <vector>

namespace addrbook {

// One row to import, in UTF-8: its line, and the entry it gives.
struct ImportRow {
  int line;
  std::string name;  // stored form: "%" joins the words of a family name
  std::string address;
  std::string comment;
  bool group = false;  // a group of the tool's own export, which cannot be made
};

// The rows of a CSV file (UTF-8, with or without a byte order mark;
// separated by ",", ";" or tab).  The header names the columns: name or
// display name, or first/given and last/family name; address, email,
// e-mail address, primary email or "E-mail 1 - Value"; comment, note or
// notes.  A family name of several words is joined with "%", so that it
// is the surname.  False (with `error`) when the file cannot be read so.
bool ReadCsvRows(const std::string& text, std::vector<ImportRow>* rows, std::string* error);

// The entries of the tool's own JSON (list --format json, export --format
// json): plain entries, their names given back their "%" from the surname;
// groups are told in `skipped`.  False (with `error`) when it is not such
// JSON.
bool ReadJsonRows(const std::string& text, std::vector<ImportRow>* rows,
                  std::vector<std::string>* skipped, std::string* error);

// True when the text is a vCard file.
bool IsVcardText(const std::string& text);

// The cards of a vCard 2.1, 3.0 or 4.0 file (quoted-printable values and
// their CHARSET decoded): the name from N (the family name
// as the surname) or FN; the address from EMAIL, else TEL, else ADR; the
// comment from NOTE.  Groups (KIND:group) cannot be made through the
// library: each is told in `skipped`.
void ReadVcardRows(const std::string& text, std::vector<ImportRow>* rows,
                   std::vector<std::string>* skipped);

}  // namespace addrbook
