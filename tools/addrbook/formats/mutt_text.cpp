#include "formats/mutt_text.h"

#include "formats/format_support.h"
#include "text/encoding.h"
#include "text/folding.h"

namespace addrbook {

std::vector<std::string> SplitOutside(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      parts.back() += text.substr(i, 2);
      ++i;
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && (c == '<' || c == '(')) ++depth;
    if (!quoted && (c == '>' || c == ')') && depth > 0) --depth;
    if (c == separator && !quoted && depth == 0) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

namespace {

// A phrase's text: quoted parts exact, the rest trimmed, escapes undone.
PhraseText Phrase(const std::string& raw) {
  PhraseText phrase;
  std::string text = Trimmed(raw);
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      phrase.text += text[++i];
    } else if (text[i] == '"') {
      quoted = !quoted;
    } else {
      if (text[i] == ',' && phrase.comma == std::string::npos) phrase.comma = phrase.text.size();
      phrase.text += text[i];
    }
  }
  (void)quoted;
  return phrase;
}

// An address with its local part's quotes and escapes undone.
std::string Address(const std::string& raw) {
  std::string text = Trimmed(raw), out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      out += text[++i];
    } else if (text[i] != '"') {
      out += text[i];
    }
  }
  return out;
}

// Where `c` first stands outside double quotes, from `from`.
size_t FindOutsideQuotes(const std::string& text, char c, size_t from = 0) {
  bool quoted = false;
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      quoted = !quoted;
    } else if (text[i] == c && !quoted) {
      return i;
    }
  }
  return std::string::npos;
}

bool IsAtext(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         static_cast<unsigned char>(c) >= 0x80 ||
         std::string("!$%&'*+-/=?^_`{|}~").find(c) != std::string::npos;
}

std::string Quoted(const std::string& text, bool escapeCommas) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\' || (escapeCommas && c == ',')) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

void ReadMailbox(const std::string& text, PhraseText* name, std::string* address, bool* bare) {
  std::string mailbox = Trimmed(text);
  *bare = false;
  size_t open = FindOutsideQuotes(mailbox, '<');
  size_t close = open == std::string::npos ? open : FindOutsideQuotes(mailbox, '>', open);
  if (open != std::string::npos && close != std::string::npos) {
    *name = Phrase(mailbox.substr(0, open));
    *address = Address(mailbox.substr(open + 1, close - open - 1));
    return;
  }
  size_t paren = FindOutsideQuotes(mailbox, '(');
  if (paren != std::string::npos && mailbox.back() == ')') {
    *name = Phrase(mailbox.substr(paren + 1, mailbox.size() - paren - 2));
    *address = Address(mailbox.substr(0, paren));
    return;
  }
  *name = PhraseText();
  *address = Address(mailbox);
  *bare = true;
}

bool IsMailAddress(const std::string& utf8) {
  size_t at = utf8.rfind('@');
  if (at == std::string::npos || at == 0 || at + 1 >= utf8.size()) return false;
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    unsigned char next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    if (c < 0x20 || c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F)) return false;
    bool domainCharacter =
        IsAtext(utf8[i]) && std::string("!$%&'*+/=?^_`{|}~").find(utf8[i]) == std::string::npos;
    if (i > at && !domainCharacter && c != '.') return false;
  }
  return true;
}

std::string MailboxText(const std::string& family, const std::string* given,
                        const std::string& address) {
  std::string phrase = Quoted(family, true);
  if (given) phrase += given->empty() ? "," : ", " + Quoted(*given, true);
  bool plain = !phrase.empty() && phrase.front() != ' ' && phrase.back() != ' ' &&
               phrase.find("  ") == std::string::npos;
  for (char c : phrase) plain = plain && (IsAtext(c) || c == ' ') && c != '\'' && c != '`';
  size_t at = address.rfind('@');
  std::string local = address.substr(0, at);
  bool dotAtom = !local.empty() && local.front() != '.' && local.back() != '.' &&
                 local.find("..") == std::string::npos;
  for (char c : local) dotAtom = dotAtom && (IsAtext(c) || c == '.');
  if (!dotAtom) local = "\"" + Quoted(local, false) + "\"";
  return (plain ? phrase : "\"" + phrase + "\"") + " <" + local + address.substr(at) + ">";
}

std::string AliasKey(const std::string& utf8Name, std::set<std::string>* used) {
  // The name as a search folds it (lower case, no accents, no apostrophes);
  // what is not a letter, digit, "." or "_" of ASCII joins words with "-".
  std::string key;
  for (char c : Folded(utf8Name)) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_') {
      key += c;
    } else if (!key.empty() && key.back() != '-') {
      key += '-';
    }
  }
  while (!key.empty() && key.back() == '-') key.pop_back();
  if (key.empty()) key = "entry";
  std::string unique = key;
  for (int n = 2; !used->insert(unique).second; ++n) unique = key + "-" + std::to_string(n);
  return unique;
}

std::string EscapedComment(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    bool c1;
    unsigned char c = ByteOrC1(utf8, &i, &c1);
    bool edge = (c == ' ' || c == '\t') && (i == 0 || i + 1 == utf8.size());
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n' || c == '\r') {
      out += c == '\n' ? "\\n" : "\\r";
    } else if (c < 0x20 || c == 0x7F || c1 || edge) {
      out += HexEscape(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string UnescapedComment(const std::string& text) {
  auto hex = HexDigit;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char next = i + 1 < text.size() ? text[i + 1] : 0;
    if (text[i] != '\\' || !next) {
      out += text[i];
    } else if (next == 'n' || next == 'r' || next == '\\') {
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
      ++i;
    } else if (next == 'x' && i + 3 < text.size() && hex(text[i + 2]) >= 0 &&
               hex(text[i + 3]) >= 0) {
      AppendUtf8(&out, static_cast<char32_t>(hex(text[i + 2]) * 16 + hex(text[i + 3])));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace addrbook
