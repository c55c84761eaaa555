#!/bin/sh
# The addrbook tool's import and export of other programs' files: shapes
# that are read whole (organisations, contacts without a name, phone
# columns, abook's file, Excel's sep= line), exports that say what their
# format cannot carry, and every format's export imported again through
# the library giving the same book.
# Usage: tool_formats_test.sh ADDRBOOK
tool="$1"
. "$(dirname "$0")/test_helpers.sh"

book() { rm -rf "$work/$1" && mkdir "$work/$1"; }

# Other programs' files: every contact in, named as it should be.
book in
printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nFN:ACME Corporation\r\nORG:ACME Corporation;\r\nX-ABShowAs:COMPANY\r\nTEL;type=WORK:+1 555 0100\r\nEND:VCARD\r\n' > "$work/company.vcf"
printf '# abook addressbook file\n\n[format]\nprogram=abook\n\n[0]\nname=Ann Abook\nemail=ann@abook.example,b@x\nnotes=n1\n\n[1]\nname=Bob Phone\nworkphone=+1 2\n' > "$work/addressbook"
printf 'sep=;\r\nVORNAME;NACHNAME;FIRMA;TELEFON GESCH\344FTLICH\r\n;;M\374ller GmbH;+49 711 1\r\n' > "$work/excel.csv"
printf 'Name,Email,Phone\n,news@lists.example,\n' > "$work/webmail.csv"
for file in company.vcf:1 addressbook:2 excel.csv:1 webmail.csv:1; do
  expect 0 "import ${file%:*}" -- "$tool" -d "$work/in" import "$work/${file%:*}"
  stdout_has "imported ${file#*:} of ${file#*:}" "every contact of ${file%:*} is imported"
done
expect 0 "list" -- "$tool" -d "$work/in" list --format csv
stdout_has "ACME Corporation,'+1 555 0100,,0,ACME Corporation" "an organisation sorts under its whole name"
stdout_has "news@lists.example,news@lists.example" "a contact without a name is named by its address"
stdout_has "Ann Abook,ann@abook.example" "abook's first e-mail address"
expect 0 "mutt-query" -- "$tool" -d "$work/in" mutt-query 1
stdout_has "1 entry matches" "mutt-query offers mail addresses only"
stdout_has "ann@abook.example" "mutt-query finds an entry by its comment"

# Exports say what their format cannot carry, entry by entry, and exit 1.
expect 1 "a phone number has no mutt alias" -- "$tool" -d "$work/in" export --format mutt
stderr_has "(ACME Corporation): mutt aliases hold mail addresses only; left out" "mutt says what it leaves out"
stdout_has 'alias news-lists.example "news@lists.example" <news@lists.example>' "a mail address is written"
expect 0 "vCard carries every entry" -- "$tool" -d "$work/in" export --format vcard
expect 0 "CSV for Excel" -- "$tool" -d "$work/in" export --format csv --bom
[ "$(head -c 3 "$work/out" | od -An -tx1 | tr -d ' ')" = efbbbf ] && pass || fail "--bom begins with a byte order mark"
expect 2 "--bom is for CSV" -- "$tool" -d "$work/in" export --format vcard --bom

# Every format's export imported into an empty book gives the same book:
# edge and repeated spaces, line breaks, joins, quotes, commas, "#",
# brackets, controls and accents.
book hard
add() { "$tool" -d "$work/hard" add "$@" > /dev/null || fail "add $1"; }
add "  Ann  Lee " ann@x.org "$(printf ' edge\r\nCRLF\rCR\nLF ')"
add "Mary van%Dyke" 'm"q,(x)#"@x.org' '"quoted", comma # hash'
add "ACME%Corporation" "info@acme.example" "$(printf '(x) <y> a\\b \033[31m')"
add "Lee, Ann" lee@x.org "$(printf '\tt\303\251l\303\251phone')"
add "$(printf 'Jos\303\251 M\303\274ller')" jm@x.org " trailing "
"$tool" -d "$work/hard" list --format csv > "$work/hard.csv"
for format in vcard csv json ldif mutt abook; do
  expect_status=0
  [ "$format" = abook ] && expect_status=1
  expect $expect_status "export --format $format" -- "$tool" -d "$work/hard" export --format $format
  cp "$work/out" "$work/export.$format"
  book back
  expect 0 "import the $format export" -- "$tool" -d "$work/back" import "$work/export.$format"
  stdout_has "imported 5 of 5" "the $format export gives every entry"
  "$tool" -d "$work/back" list --format csv > "$work/back.csv"
  if [ "$format" = abook ]; then continue; fi
  cmp -s "$work/hard.csv" "$work/back.csv" && pass || {
    fail "the $format export imported again is another book" "$work/export.$format"
    diff "$work/hard.csv" "$work/back.csv"
  }
done
finish
