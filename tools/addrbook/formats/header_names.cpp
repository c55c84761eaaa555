#include "formats/header_names.h"

#include <algorithm>
#include <utility>

#include "formats/case_folding.h"

namespace addrbook {
namespace {

struct HeaderName {
  Field field;
  const char* name;  // in lower case, as exported
};

// Google Contacts (old and new CSV), Outlook and Thunderbird in English,
// German, French, Spanish, Italian, Dutch and Portuguese; within a field,
// the better choice first (the primary address before a second one).
constexpr HeaderName kNames[] = {
    {Field::kName, "name"},
    {Field::kName, "display name"},
    {Field::kName, "full name"},
    {Field::kName, "anzeigename"},
    {Field::kName, "nom à afficher"},
    {Field::kName, "nombre mostrado"},
    {Field::kName, "nome visualizzato"},
    {Field::kName, "weergavenaam"},
    {Field::kName, "nome de exibição"},
    {Field::kName, "nome a apresentar"},
    {Field::kGiven, "first name"},
    {Field::kGiven, "given name"},
    {Field::kGiven, "vorname"},
    {Field::kGiven, "prénom"},
    {Field::kGiven, "nombre"},
    {Field::kGiven, "nome"},
    {Field::kGiven, "voornaam"},
    {Field::kGiven, "primeiro nome"},
    {Field::kGiven, "nome próprio"},
    {Field::kMiddle, "middle name"},
    {Field::kMiddle, "additional name"},
    {Field::kMiddle, "weitere vornamen"},
    {Field::kMiddle, "zweiter vorname"},
    {Field::kMiddle, "deuxième prénom"},
    {Field::kMiddle, "segundo nombre"},
    {Field::kMiddle, "secondo nome"},
    {Field::kMiddle, "middelste naam"},
    {Field::kMiddle, "tweede voornaam"},
    {Field::kMiddle, "nome do meio"},
    {Field::kMiddle, "segundo nome"},
    {Field::kFamily, "last name"},
    {Field::kFamily, "family name"},
    {Field::kFamily, "nachname"},
    {Field::kFamily, "nom"},
    {Field::kFamily, "nom de famille"},
    {Field::kFamily, "apellidos"},
    {Field::kFamily, "apellido"},
    {Field::kFamily, "cognome"},
    {Field::kFamily, "achternaam"},
    {Field::kFamily, "sobrenome"},
    {Field::kFamily, "apelido"},
    {Field::kFamily, "apelidos"},
    {Field::kPrefix, "title"},
    {Field::kPrefix, "name prefix"},
    {Field::kPrefix, "anrede"},
    {Field::kPrefix, "titre"},
    {Field::kPrefix, "tratamiento"},
    {Field::kPrefix, "titolo"},
    {Field::kPrefix, "aanhef"},
    {Field::kPrefix, "título"},
    {Field::kPrefix, "tratamento"},
    {Field::kSuffix, "suffix"},
    {Field::kSuffix, "name suffix"},
    {Field::kSuffix, "namenszusatz"},
    {Field::kSuffix, "suffixe"},
    {Field::kSuffix, "sufijo"},
    {Field::kSuffix, "suffisso"},
    {Field::kSuffix, "achtervoegsel"},
    {Field::kSuffix, "sufixo"},
    {Field::kSurname, "surname"},
    {Field::kAddress, "address"},
    {Field::kAddress, "email"},
    {Field::kAddress, "e-mail"},
    {Field::kAddress, "email address"},
    {Field::kAddress, "e-mail address"},
    {Field::kAddress, "primary email"},
    {Field::kAddress, "e-mail 1 - value"},
    {Field::kAddress, "e-mail 1"},
    {Field::kAddress, "email 1"},
    {Field::kAddress, "e-mail-adresse"},
    {Field::kAddress, "primäre e-mail-adresse"},
    {Field::kAddress, "adresse de messagerie"},
    {Field::kAddress, "adresse électronique principale"},
    {Field::kAddress, "adresse e-mail"},
    {Field::kAddress, "dirección de correo electrónico"},
    {Field::kAddress, "correo electrónico principal"},
    {Field::kAddress, "correo electrónico"},
    {Field::kAddress, "indirizzo posta elettronica"},
    {Field::kAddress, "indirizzo e-mail"},
    {Field::kAddress, "email principale"},
    {Field::kAddress, "e-mailadres"},
    {Field::kAddress, "eerste e-mailadres"},
    {Field::kAddress, "endereço de email"},
    {Field::kAddress, "endereço de e-mail"},
    {Field::kAddress, "endereço de correio eletrónico"},
    {Field::kAddress, "endereço de correio electrónico"},
    {Field::kAddress, "e-mail principal"},
    {Field::kAddress, "email principal"},
    {Field::kOrganisation, "organization"},
    {Field::kOrganisation, "organisation"},
    {Field::kOrganisation, "organization name"},
    {Field::kOrganisation, "organization 1 - name"},
    {Field::kOrganisation, "company"},
    {Field::kOrganisation, "firma"},
    {Field::kOrganisation, "unternehmen"},
    {Field::kOrganisation, "société"},
    {Field::kOrganisation, "entreprise"},
    {Field::kOrganisation, "organización"},
    {Field::kOrganisation, "compañía"},
    {Field::kOrganisation, "empresa"},
    {Field::kOrganisation, "organizzazione"},
    {Field::kOrganisation, "società"},
    {Field::kOrganisation, "azienda"},
    {Field::kOrganisation, "organisatie"},
    {Field::kOrganisation, "bedrijf"},
    {Field::kOrganisation, "organização"},
    {Field::kComment, "comment"},
    {Field::kComment, "note"},
    {Field::kComment, "notes"},
    {Field::kComment, "notizen"},
    {Field::kComment, "notas"},
    {Field::kComment, "notities"},
    {Field::kComment, "aantekeningen"},
    {Field::kGroup, "group"},
};

struct PhoneName {
  PhoneKind kind;
  const char* name;  // as FoldCase gives it
};

// The phone columns of the same programs and languages (faxes and pagers
// left out), and the web-mail shapes' one "Phone".
constexpr PhoneName kPhoneNames[] = {
    {PhoneKind::kPreferred, "primary phone"},
    {PhoneKind::kPreferred, "haupttelefon"},
    {PhoneKind::kPreferred, "téléphone principal"},
    {PhoneKind::kPreferred, "teléfono principal"},
    {PhoneKind::kPreferred, "telefono principale"},
    {PhoneKind::kPreferred, "hoofdtelefoon"},
    {PhoneKind::kPreferred, "telefone principal"},
    {PhoneKind::kMobile, "mobile phone"},
    {PhoneKind::kMobile, "mobile number"},
    {PhoneKind::kMobile, "mobile"},
    {PhoneKind::kMobile, "cell phone"},
    {PhoneKind::kMobile, "mobiltelefon"},
    {PhoneKind::kMobile, "mobil-tel.-nr."},
    {PhoneKind::kMobile, "handy"},
    {PhoneKind::kMobile, "téléphone mobile"},
    {PhoneKind::kMobile, "tél. mobile"},
    {PhoneKind::kMobile, "portable"},
    {PhoneKind::kMobile, "teléfono móvil"},
    {PhoneKind::kMobile, "móvil"},
    {PhoneKind::kMobile, "cellulare"},
    {PhoneKind::kMobile, "mobiele telefoon"},
    {PhoneKind::kMobile, "mobiel"},
    {PhoneKind::kMobile, "telemóvel"},
    {PhoneKind::kMobile, "celular"},
    {PhoneKind::kBusiness, "business phone"},
    {PhoneKind::kBusiness, "business phone 2"},
    {PhoneKind::kBusiness, "company main phone"},
    {PhoneKind::kBusiness, "work phone"},
    {PhoneKind::kBusiness, "telefon geschäftlich"},
    {PhoneKind::kBusiness, "telefon geschäftlich 2"},
    {PhoneKind::kBusiness, "telefon firma"},
    {PhoneKind::kBusiness, "tel. dienstlich"},
    {PhoneKind::kBusiness, "téléphone bureau"},
    {PhoneKind::kBusiness, "téléphone bureau 2"},
    {PhoneKind::kBusiness, "tél. professionnel"},
    {PhoneKind::kBusiness, "teléfono del trabajo"},
    {PhoneKind::kBusiness, "teléfono del trabajo 2"},
    {PhoneKind::kBusiness, "telefono ufficio"},
    {PhoneKind::kBusiness, "telefono ufficio 2"},
    {PhoneKind::kBusiness, "telefoon op werk"},
    {PhoneKind::kBusiness, "telefoon op werk 2"},
    {PhoneKind::kBusiness, "telefone comercial"},
    {PhoneKind::kBusiness, "telefone comercial 2"},
    {PhoneKind::kHome, "home phone"},
    {PhoneKind::kHome, "home phone 2"},
    {PhoneKind::kHome, "telefon privat"},
    {PhoneKind::kHome, "telefon privat 2"},
    {PhoneKind::kHome, "tel. privat"},
    {PhoneKind::kHome, "téléphone domicile"},
    {PhoneKind::kHome, "téléphone domicile 2"},
    {PhoneKind::kHome, "tél. personnel"},
    {PhoneKind::kHome, "particular"},
    {PhoneKind::kHome, "particular 2"},
    {PhoneKind::kHome, "teléfono particular"},
    {PhoneKind::kHome, "abitazione"},
    {PhoneKind::kHome, "abitazione 2"},
    {PhoneKind::kHome, "telefoon thuis"},
    {PhoneKind::kHome, "telefoon thuis 2"},
    {PhoneKind::kHome, "telefone residencial"},
    {PhoneKind::kHome, "telefone residencial 2"},
    {PhoneKind::kOther, "phone"},
    {PhoneKind::kOther, "telephone"},
    {PhoneKind::kOther, "other phone"},
    {PhoneKind::kOther, "car phone"},
    {PhoneKind::kOther, "telefon"},
    {PhoneKind::kOther, "weiteres telefon"},
    {PhoneKind::kOther, "autotelefon"},
    {PhoneKind::kOther, "téléphone"},
    {PhoneKind::kOther, "autre téléphone"},
    {PhoneKind::kOther, "teléfono"},
    {PhoneKind::kOther, "otro teléfono"},
    {PhoneKind::kOther, "altro telefono"},
    {PhoneKind::kOther, "overige telefoon"},
    {PhoneKind::kOther, "outro telefone"},
};

// "phone 1 - value" (Google): the number N; -1 for any other name.
int GooglePhoneNumber(const std::string& name) {
  constexpr const char* kSuffix = " - value";
  if (name.compare(0, 6, "phone ") != 0 || name.size() < 6 + 8 + 1 ||
      name.compare(name.size() - 8, 8, kSuffix) != 0) {
    return -1;
  }
  std::string digits = name.substr(6, name.size() - 14);
  if (digits.empty() || digits.size() > 3 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  return std::stoi(digits);
}

}  // namespace

std::vector<PhoneColumn> PhoneColumns(const std::vector<std::string>& header) {
  std::vector<PhoneColumn> columns;
  for (size_t c = 0; c < header.size(); ++c) {
    int value = static_cast<int>(c);
    if (int n = GooglePhoneNumber(header[c]); n >= 0) {
      std::string prefix = "phone " + std::to_string(n) + " - ";
      auto label = std::find_if(header.begin(), header.end(), [&](const std::string& h) {
        return h == prefix + "type" || h == prefix + "label";
      });
      int at = label == header.end() ? -1 : static_cast<int>(label - header.begin());
      columns.push_back({value, at, PhoneKind::kOther});
      continue;
    }
    for (const PhoneName& name : kPhoneNames) {
      if (header[c] == name.name) {
        columns.push_back({value, -1, name.kind});
        break;
      }
    }
  }
  return columns;
}

PhoneKind LabelKind(const std::string& label) {
  std::string text = FoldCase(label);
  if (!text.empty() && text[0] == '*') return PhoneKind::kPreferred;
  for (const auto& [word, kind] : {std::pair{"mobile", PhoneKind::kMobile},
                                   {"cell", PhoneKind::kMobile},
                                   {"work", PhoneKind::kBusiness},
                                   {"business", PhoneKind::kBusiness},
                                   {"home", PhoneKind::kHome}}) {
    if (text.find(word) != std::string::npos) return kind;
  }
  return PhoneKind::kOther;
}

std::vector<int> HeaderColumns(const std::vector<std::string>& header) {
  std::vector<int> columns(kFieldCount, -1);
  for (const HeaderName& entry : kNames) {
    int& column = columns[static_cast<size_t>(entry.field)];
    if (column >= 0) continue;
    auto at = std::find(header.begin(), header.end(), entry.name);
    if (at != header.end()) column = static_cast<int>(at - header.begin());
  }
  return columns;
}

}  // namespace addrbook
