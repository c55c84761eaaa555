#!/bin/sh
# Makes the manual page from the tool's own help: help2man for the name,
# synopsis and global options; a section per command from
# "addrbook COMMAND --help"; ENVIRONMENT, FILES and EXIT STATUS.
# Usage: make-manual.sh HELP2MAN ADDRBOOK VERSION OUTPUT
set -e
help2man="$1"; tool="$2"; version="$3"; out="$4"
include="$out.h2m"
# Help text as roff, verbatim: backslashes doubled, a leading "." or "'"
# made plain, the tool named as users type it.
verbatim() {
  echo ".nf"
  sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/" -e "s|$tool|addrbook|g"
  echo ".fi"
}
{
  echo "[COMMANDS]"
  for command in list add delete find show edit expand group "group create" "group add" \
      "group remove" "group delete" "group list" export import mutt-query; do
    echo ".SS $command"
    # shellcheck disable=SC2086  # "group add" is two words
    "$tool" $command --help | verbatim
  done
  cat <<'SECTIONS'
[ENVIRONMENT]
.TP
.B ADDRBOOK_DIR
The book's directory when \-d is not given.
.TP
.B ADDRBOOK_ENCODING
The encoding of the book's text (cp1252, latin1 or utf8) when \-\-encoding
is not given; when neither is, the book's text tells: utf8 when it is valid
UTF\-8 with a character of several bytes, else cp1252.
.TP
.BR LC_ALL ", " LC_CTYPE ", " LANG
The encoding of arguments and of what is shown on a terminal: UTF\-8,
ISO\-8859\-1 or Windows\-1252.  CSV, JSON, vCard, LDIF and alias output is
UTF\-8 whatever the locale.
.TP
.B NO_COLOR
When set and not empty, surnames are not shown in bold.
.TP
.B TERM
"dumb" shows no bold either.
.TP
.B COLUMNS
The width of a table when the terminal does not tell it.
[FILES]
.TP
.I DIR/ADDRBOOK.DAT
The book.
.TP
.I DIR/ADDRBOOK.LCK
The lock file that programs sharing the book take in turn.  It is not a
stale lock: leave it where it is.
[EXIT STATUS]
.TP
.B 0
Done.
.TP
.B 1
The book, the file or an argument was refused (the reason is on standard
error); find and mutt\-query found nothing; an import refused a row; an export
could not carry every entry as it is (each said on standard error); a
change was not confirmed.
.TP
.B 2
The command line is wrong.
SECTIONS
} > "$include"
"$help2man" --no-info --section=1 --version-string="$version" \
  --name "keep an address book (ADDRBOOK.DAT) in a directory" \
  --include "$include" --output "$out" "$tool"
rm -f "$include"
# Compressed, as installed.
gzip -9n -c "$out" > "$out.gz"
