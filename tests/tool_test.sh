#!/bin/sh
# Runs the built addrbook tool in scratch directories and checks its exit
# statuses, standard output and standard error (each apart).  With
# TOOL_PLATFORM=windows, ADDRBOOK runs addrbook.exe under Wine: the cases
# about POSIX terminals, locales, users and limits are left out, every
# other case is the same.
# Usage: tool_test.sh ADDRBOOK EXAMPLE_BOOK
tool="$1"
example="$2"
. "$(dirname "$0")/test_helpers.sh"
tool_platform "$tool"

mkdir "$work/club" && cp "$example" "$work/club/ADDRBOOK.DAT"
expect 0 "list" -- "$tool" -d "$work/club" list --groups
stdout_has "Ludwig van Beethoven" "list shows the display name"
stdout_has "(group)" "list marks groups"
expect 0 "expand" -- "$tool" -d "$work/club" expand EVERYONE --recursive --format csv
stdout_has "Ken Thompson,ken@unix.example,treasurer,0" "recursive expansion as CSV"
expect 0 "add" -- "$tool" -d "$work/club" add "Zoe Zed" "zoe@example.org" "=SUM(A1)"
expect 0 "list csv" -- "$tool" -d "$work/club" list --format csv
stdout_has "'=SUM(A1)" "a formula is neutralised in CSV"
expect 0 "a second entry of one name" -- "$tool" -d "$work/club" add "Cher" "again@example.org"
expect 1 "ambiguous delete" -- "$tool" -d "$work/club" delete --name Cher
stderr_has "ambiguous" "ambiguous names are refused"
expect 0 "delete by index" -- "$tool" -d "$work/club" delete 0 --yes
stdout_has "deleted Ada Byron" "delete names what it deleted"
# A save keeps who may read and write the book (under Wine as well, where
# the mode is the book's Windows security).
for mode in 600 644; do
  chmod "$mode" "$work/club/ADDRBOOK.DAT"
  expect 0 "a save of a book of mode $mode" -- "$tool" -d "$work/club" add "Mo $mode" m@x
  kept=$(stat -c %a "$work/club/ADDRBOOK.DAT")
  [ "$kept" = "$mode" ] && pass || fail "a book of mode $mode is $kept after a save"
done
expect 1 "too long" -- "$tool" -d "$work/club" add "A name that is far too long for it" x
stderr_has "longer than 24" "the reason is given"
expect 1 "missing index" -- "$tool" -d "$work/club" delete 99
expect 2 "usage" -- "$tool" -d "$work/club" frobnicate
expect 0 "help" -- "$tool" list --help
expect 0 "empty book" -- "$tool" -d "$work" list
ADDRBOOK_DIR="$work/club" expect 0 "directory from the environment" -- "$tool" list --format json
stdout_has '"name": "Zoe Zed"' "JSON output"
printf '\003\000\000' > "$work/ADDRBOOK.DAT"
expect 1 "corrupt book" -- "$tool" -d "$work" list
stderr_has "cannot be read: the book file is damaged" "a corrupt book is reported"
# 8-bit text: arguments are UTF-8 here, the book cp1252.
export LANG=C.UTF-8
mkdir "$work/text"
expect 0 "8-bit name" -- "$tool" -d "$work/text" add "Zoë Zed" "zoe@example.org" 'says "hi", twice; ok'
expect 0 "json in UTF-8" -- "$tool" -d "$work/text" list --format json
stdout_has '"name": "Zoë Zed"' "cp1252 text comes out as UTF-8"
if grep -q "$(printf 'Zo\353 Zed')" "$work/text/ADDRBOOK.DAT"; then pass; else
  fail "the book holds cp1252 bytes"; fi
expect 1 "a character latin1 cannot hold" -- "$tool" --encoding latin1 -d "$work/text" add "Euro €" x
stderr_has "cannot be stored in latin1" "the character is refused"
expect 0 "csv export" -- "$tool" -d "$work/text" export --format csv
stdout_has '"says ""hi"", twice; ok"' "CSV quotes commas and quotes"
expect 0 "vcard export" -- "$tool" -d "$work/text" export --format vcard
stdout_has 'NOTE:says "hi"\, twice\; ok' "vCard escapes commas and semicolons"
stdout_has 'N:Zed;Zoë;;;' "vCard splits the name at the surname"
if grep -q "$(printf 'VERSION:4.0\r')" "$work/out"; then pass; else
  fail "vCard lines end in CRLF"; fi

# Import: a few thousand rows, and refused rows reported by line.
mkdir "$work/import"
awk 'BEGIN { print "name,address,comment"; for (i = 0; i < 3000; i++) printf "P%04d Person%04d,p%d@example.org,\"row, %d\"\n", i, 2999 - i, i, i }' > "$work/rows.csv"
expect 0 "import 3000 rows" -- "$tool" -d "$work/import" import "$work/rows.csv"
stdout_has "imported 3000 of 3000 rows" "every row went in"
expect 0 "imported list" -- "$tool" -d "$work/import" list --format csv
if [ "$(sed -n 2p "$work/out" | cut -d, -f2)" = "P2999 Person0000" ] &&
   [ "$(sed -n 3001p "$work/out" | cut -d, -f2)" = "P0000 Person2999" ] &&
   [ "$(wc -l < "$work/out")" -eq 3001 ]; then pass; else
  fail "the imported book is not all there in surname order"; fi
printf 'name,address,comment\nGood One,g@x.org,\n,,neither name nor address\nA name that is far too long,x,\n"Two\nLines",y,z\n' > "$work/bad.csv"
expect 1 "import with refused rows" -- "$tool" -d "$work/import" import "$work/bad.csv"
stderr_has "bad.csv:3: the name is empty" "the line of a refused row"
stdout_has "imported 2 of 4 rows" "the count of rows that went in"
if [ -n "$posix" ]; then
# A contact twice in one file goes in once; a full book takes no more, the
# rows left said once, and the summary counts every row (natively only:
# the tool does the same on Windows, and Wine would take its time).
mkdir "$work/full"
awk 'BEGIN { print "name,address"; for (i = 0; i < 4093; i++) printf "F%04d Full,f%d@x.org\n", i, i }' > "$work/full.csv"
expect 0 "import 4093 rows" -- "$tool" -d "$work/full" import "$work/full.csv"
printf 'name,address\nTwo Times,t@x.org\nTwo Times,t@x.org\nLast In,l@x.org\nOne Over,o@x.org\nTwo Over,p@x.org\n' > "$work/over.csv"
expect 1 "import into a book that fills" -- "$tool" -d "$work/full" import "$work/over.csv"
stderr_has "over.csv:5: the book is full (4095 entries); 2 rows from here on not added" "the rows a full book leaves out"
stdout_has "imported 2 of 5 rows; 1 already in the book, skipped; 2 refused (said above)" "the summary of a full book"
expect 0 "the full book" -- "$tool" -d "$work/full" list --format csv
[ "$(grep -c "Two Times" "$work/out") $(wc -l < "$work/out")" = "1 4096" ] && pass ||
  fail "the full book does not hold 4095 entries, one of them Two Times"
# An import is one save: when it fails (a file size limit), nothing is added.
cp "$work/import/ADDRBOOK.DAT" "$work/import.before"
printf 'name,address\nNew Row,n@x.org\nNext Row,m@x.org\n' > "$work/new.csv"
expect 1 "an import whose save fails" -- sh -c "trap '' XFSZ; ulimit -f 8; exec \"\$0\" -d \"\$1\" import \"\$2\"" "$tool" "$work/import" "$work/new.csv"
stderr_has "nothing was imported: the book could not be saved: file too large" "the save's cause"
if cmp -s "$work/import/ADDRBOOK.DAT" "$work/import.before"; then pass; else
  fail "a failed import changed the book"; fi
fi
# Several entries from one listing, all in one save.
mkdir "$work/multi" && cp "$example" "$work/multi/ADDRBOOK.DAT"
expect 0 "delete several" -- "$tool" -d "$work/multi" delete 0 2 --name Cher --name "Chess club" --yes
stdout_has "deleted Grace Hopper" "the plain entry at index 2"
expect 0 "after deleting several" -- "$tool" -d "$work/multi" list --groups --format csv
if [ "$(cut -d, -f2 "$work/out" | tr '\n' '|')" = "name|Everyone|Alan Kay|Officers|Ken Thompson|Dennis Thompson|Ludwig van Beethoven|" ]; then
  pass; else fail "delete several left:" "$work/out"; fi

# Characters the book cannot hold are refused, never mapped to near ones
# (as Windows' "best fit" would): the book is left as it was.
cp "$work/text/ADDRBOOK.DAT" "$work/text.before"
for name in "Łukasz Żółć" "Zoë 😀"; do
  expect 1 "refuse $name" -- "$tool" -d "$work/text" add "$name" l@x
  stderr_has "cannot be stored in cp1252" "the character is named"
done
if cmp -s "$work/text/ADDRBOOK.DAT" "$work/text.before"; then pass; else
  fail "a refused name changed the book"; fi
expect 0 "a name cp1252 holds" -- "$tool" -d "$work/text" add "José Müller" j@x
if grep -q "$(printf 'Jos\351 M\374ller')" "$work/text/ADDRBOOK.DAT"; then pass; else
  fail "José Müller is not stored in cp1252"; fi
# A directory whose name the Windows code page cannot hold.
mkdir "$work/Łódź"
expect 0 "a directory named Łódź" -- "$tool" -d "$work/Łódź" add "Ann Lee" a@x
[ -s "$work/Łódź/ADDRBOOK.DAT" ] && pass || fail "no book in Łódź"

if [ -n "$posix" ]; then
# Arguments are converted from the locale's encoding however LANG is
# spelt (C: valid UTF-8 is taken as UTF-8); the book holds cp1252.
for locale in "LANG=C" "LANG=" "LANG=C.UTF-8" "LC_ALL=en_US.utf-8" "LC_ALL=C.utf8"; do
  dir="$work/locale-$(echo "$locale" | tr -c 'a-zA-Z0-9\n' _)"
  mkdir "$dir"
  expect 0 "add under $locale" -- env -u LANG -u LC_ALL $locale "$tool" -d "$dir" add "José Müller" j@x
  if grep -q "$(printf 'Jos\351 M\374ller')" "$dir/ADDRBOOK.DAT"; then pass; else
    fail "under $locale the book does not hold cp1252 text"; fi
done
expect 1 "bytes of no known encoding" -- env LANG=C "$tool" -d "$dir" add "$(printf 'Zo\353 Zed')" z@x
stderr_has "not valid UTF-8" "unconverted bytes are refused"
ADDRBOOK_ENCODING=latin1 expect 1 "the book's encoding from the environment" -- "$tool" -d "$dir" add "Euro €" x
stderr_has "cannot be stored in latin1" "ADDRBOOK_ENCODING names the book's encoding"

fi

# Text from a book never drives the terminal; colour only where it may.
mkdir "$work/escape"
expect 0 "a comment with an escape" -- "$tool" -d "$work/escape" add "Eve Evil" e@x "$(printf 'a\033[31mred')"
expect 0 "list it" -- "$tool" -d "$work/escape" list
stdout_has 'a\x1b[31mred' "control characters are shown escaped"
if [ -n "$posix" ]; then
for setting in "NO_COLOR=1" "TERM=dumb" "TERM=xterm"; do
  env $setting script -qec "$tool -d $work/escape list" /dev/null > "$work/out" 2>&1
  bold=$(grep -c "$(printf '\033\\[1m')" "$work/out")
  want=0
  [ "$setting" = "TERM=xterm" ] && want=1
  if [ "$bold" -eq "$want" ] && ! grep -q "$(printf '\033\\[31m')" "$work/out"; then
    pass; else fail "terminal output with $setting" "$work/out"; fi
done

# Tables fit the terminal, from 20 columns on, cut with an ellipsis.
for columns in 20 40 120; do
  NO_COLOR=1 script -qec "stty cols $columns; $tool -d $work/club list --groups" /dev/null | tr -d '\r' > "$work/out"
  widest=$(LC_ALL=C.UTF-8 wc -L < "$work/out")
  if [ "$widest" -le "$columns" ] && [ "$(grep -c . "$work/out")" -ge 5 ]; then pass; else
    fail "a table $widest columns wide on a terminal of $columns"; fi
done

fi

# Messages name what is wrong.
expect 2 "an unknown command" -- "$tool" -d "$work/club" frobnicate
stderr_has "unknown command 'frobnicate'" "the unknown command is named"
expect 1 "a missing directory" -- "$tool" -d "$work/none" list
stderr_has "no such directory" "a missing directory is an error"
expect 0 "a name with a percent sign" -- "$tool" -d "$work/escape" add "100% Pure Co" p@x
expect 0 "deleted by the name as typed" -- "$tool" -d "$work/escape" delete --name "100% Pure Co" --yes
if [ -n "$posix" ]; then
chmod 711 "$work" && chmod 755 "$work/escape" && chmod 600 "$work/escape/ADDRBOOK.DAT"
if [ "$(id -u)" -eq 0 ]; then
  # Another user runs a copy of the tool and the library from where it may
  # reach them: the checkout, and the build in it, may lie in a private
  # directory (/root).
  mkdir -m 755 "$work/bin" && cp "$tool" "$(dirname "$tool")"/libovel.so.1 "$work/bin/"
  chmod a+rx "$work/bin"/*
  as_other="env LD_LIBRARY_PATH=$work/bin setpriv --reuid=65534 --regid=65534 --clear-groups $work/bin/$(basename "$tool")"
else
  chmod 000 "$work/escape/ADDRBOOK.DAT"
  as_other="$tool"
fi
expect 1 "an unreadable book" -- $as_other -d "$work/escape" list
stderr_has "permission denied" "an unreadable book is not called damaged"
chmod 444 "$work/escape/ADDRBOOK.DAT"
expect 1 "a read-only book, changed by another user" -- $as_other -d "$work/escape" add "Ro Ro" r@x
stderr_has "could not be saved: permission denied" "the cause is the system's, not a guess"
fi

# One vCard file end to end (the unit tables of the formats hold the
# other shapes): the summary adds up, a shortened name and a card cut short
# are said by line.
mkdir "$work/samples" "$work/sample"
printf '\357\273\277BEGIN:VCARD\r\nVERSION:3.0\r\nN:de la Cruz;Ann;;;\r\nFN:Ann de la Cruz\r\nitem1.EMAIL;type=INTERNET:ann@x.org\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nFN:Team\r\nX-ADDRESSBOOKSERVER-KIND:group\r\nEND:VCARD\r\n' > "$work/samples/apple.vcf"
expect 0 "a vCard file with a group" -- "$tool" -d "$work/sample" import "$work/samples/apple.vcf"
stdout_has "imported 1 of 1 card and 1 of 1 group" "the summary of a vCard import"
printf 'BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bart Alexander Fitzgerald\r\nN:Fitzgerald;Bart;Alexander;;\r\nEMAIL;PREF=1:bart@x.org\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nFN:Cut Short\r\nEMAIL:cut@x.org\r\n' > "$work/samples/v4.vcf"
rm -rf "$work/sample" && mkdir "$work/sample"
expect 1 "a name shortened to fit" -- "$tool" -d "$work/sample" import "$work/samples/v4.vcf"
stderr_has "v4.vcf:1: Bart Fitzgerald: the middle name left out to fit" "the import says whom it shortened"
stdout_has "imported 1 of 2 cards; 1 refused (said above)" "a card cut short is refused"
mkdir "$work/shapes"
printf 'First Name,Last Name,E-mail 1 - Value\nMary,van Dyke,mary@x.org\n' > "$work/shapes/google.csv"
printf '"First Name","Last Name","E-mail Address"\r\n"Otto","Look","otto@x.org"\r\n' > "$work/shapes/outlook.csv"
printf 'First Name,Last Name,Display Name,Primary Email\nTina,Bird,Tina Bird,tina@x.org\n' > "$work/shapes/thunderbird.csv"
printf 'name,address,comment\nJos\351 Win,jose@x.org,\n' > "$work/shapes/cp1252.csv"
mkdir "$work/shapes/google"
expect 0 "import google.csv" -- "$tool" -d "$work/shapes/google" import "$work/shapes/google.csv"
expect 0 "a dry run" -- "$tool" -d "$work/shapes/google" import --dry-run "$work/shapes/outlook.csv"
stdout_has "would import 1 of 1 row" "a dry run reports"
expect 0 "importing a file twice" -- "$tool" -d "$work/shapes/google" import "$work/shapes/google.csv"
stdout_has "1 already in the book, skipped" "an entry already in the book is skipped"
expect 0 "from standard input" -- sh -c "\"$tool\" -d \"$work/shapes/google\" import - < \"$work/shapes/thunderbird.csv\""
expect 0 "the book after it" -- "$tool" -d "$work/shapes/google" list --format csv
if [ "$(grep -c "x.org" "$work/out")" -eq 2 ]; then pass; else
  fail "dry run, duplicate or standard input import" "$work/out"; fi
# Exports import again into an empty book to the same output (the unit
# tables of the formats round-trip every format): the club book through
# CSV, entry for entry with each surname; a vCard export byte for byte (the
# same cards and UIDs).
round_trip() {  # round_trip BOOK "OUTPUT" "CHECK" WHAT ["IMPORT OPTIONS"]
  rm -rf "$work/round" && mkdir "$work/round"
  "$tool" -d "$1" $2 > "$work/round.in"
  expect 0 "import $4" -- "$tool" -d "$work/round" import $5 "$work/round.in"
  "$tool" -d "$1" $3 > "$work/round.want"
  "$tool" -d "$work/round" $3 > "$work/round.got"
  if cmp -s "$work/round.want" "$work/round.got"; then pass; else
    fail "round trip of $4"; diff "$work/round.want" "$work/round.got"; fi
}
"$tool" -d "$work/club" add "Dbl  Space" d@x.org "'=quoted by hand" > /dev/null
round_trip "$work/club" "export --format csv" "list --format csv" "the club book as csv"
stdout_has "and 3 of 3 groups" "the groups of an export are imported"
round_trip "$work/text" "export --format vcard" "export --format vcard" "a vCard export"
# python3-ldap reads the LDIF export: a record for every entry and group.
"$tool" -d "$work/club" export --format ldif > "$work/club.ldif"
entries=$("$tool" -d "$work/club" list --groups --format csv | sed 1d | wc -l)
if ! /usr/bin/python3 -c "import ldif" 2>/dev/null ||
   /usr/bin/python3 -c "import sys, ldif; r = ldif.LDIFRecordList(open(sys.argv[1], 'rb')); r.parse(); assert len(r.all_records) == int(sys.argv[2])" \
     "$work/club.ldif" "$entries"; then pass; else
  fail "python3-ldap does not read the LDIF export"; fi
if [ -n "$posix" ]; then
# Imports read files alike under any locale.
for locale in "LANG=C" "LANG=" "LANG=C.UTF-8"; do
  rm -rf "$work/lround" && mkdir "$work/lround"
  expect 0 "import under $locale" -- env -u LC_ALL $locale "$tool" -d "$work/lround" import "$work/samples/apple.vcf"
  expect 0 "import cp1252 under $locale" -- env -u LC_ALL $locale "$tool" -d "$work/lround" import --input-encoding cp1252 "$work/shapes/cp1252.csv"
  expect 0 "list under $locale" -- "$tool" -d "$work/lround" list --format csv
  stdout_has "José Win" "imported text under $locale"
done

# A Latin-1 terminal gets Latin-1, whatever the book's encoding.
if locale -a 2>/dev/null | grep -qix 'de_DE.iso88591'; then
  for encoding in cp1252 utf8; do
    rm -rf "$work/latin1" && mkdir "$work/latin1"
    "$tool" -d "$work/latin1" --encoding $encoding add "José Müller" j@x > /dev/null
    expect 0 "list on a Latin-1 terminal ($encoding book)" -- env LC_ALL=de_DE.ISO-8859-1 "$tool" -d "$work/latin1" --encoding $encoding list
    stdout_has "$(printf 'Jos\351 M\374ller')" "a $encoding book shown in Latin-1"
  done
fi

fi

# Text from a file or a book never drives the terminal: escape sequences,
# C1 controls and a right-to-left override come out escaped.
printf 'name,address,comment\nEvil\033]0;pwned\007 One,e@x.org,\nBad\342\200\256Row Two,b@x.org,\nCsi\302\233 Three,c@x.org,\n' > "$work/evil.csv"
mkdir "$work/evil"
expect 1 "a dry run of hostile text" -- "$tool" -d "$work/evil" import --dry-run "$work/evil.csv"
stdout_has 'would add Evil\x1b]0;pwned\x07 One' "the dry run escapes"
stderr_has 'the character \u202e cannot be stored' "a refusal escapes"
expect 0 "a UTF-8 book" -- "$tool" -d "$work/evil" --encoding utf8 add "$(printf 'Rtl\342\200\256x Y')" r@x
expect 0 "listing it" -- "$tool" -d "$work/evil" --encoding utf8 list
stdout_has 'Rtl\u202ex' "list escapes a bidirectional override"
expect 0 "a mail client's query" -- "$tool" -d "$work/evil" --encoding utf8 mutt-query rtl
stdout_has 'Rtl\u202ex Y' "mutt-query escapes too"
# Neither stream may carry them.
if grep -q "$(printf '\033\|\302\233\|\342\200\256')" "$work/out" "$work/err"; then
  fail "raw control characters reached the output"; else pass; fi

# One numbering: show and edit count as list does, --groups alike.
mkdir "$work/numbers" && cp "$example" "$work/numbers/ADDRBOOK.DAT"
for flag in "" --groups; do
  expect 0 "list $flag" -- "$tool" -d "$work/numbers" list $flag --format csv
  row=$(sed -n 6p "$work/out" | cut -d, -f2)
  expect 0 "show 4 $flag" -- "$tool" -d "$work/numbers" show 4 $flag
  stdout_has "name:     $row" "show 4 $flag is row 4 of list $flag"
done
expect 0 "edit 4" -- "$tool" -d "$work/numbers" edit 4 --comment retired --yes
stdout_has "changed Ken Thompson" "edit 4 changes row 4 of list"

# Find, show, edit, a guarded delete and a mail client's query.
mkdir "$work/edit" && cp "$example" "$work/edit/ADDRBOOK.DAT"
expect 0 "find in any case" -- "$tool" -d "$work/edit" find THOMPSON
stdout_has "Dennis Thompson" "find matches names"
expect 1 "find nothing" -- "$tool" -d "$work/edit" find nobody-at-all
expect 0 "show a group" -- "$tool" -d "$work/edit" show --name "Chess club"
stdout_has "members:" "a group is shown with its members"
# Without a terminal the answer is read from standard input: only yes
# changes the book; edit asks about the change alone (the entry stays in
# its groups).
cp "$work/edit/ADDRBOOK.DAT" "$work/edit.before"
for answer in n "" EOF; do
  input="echo $answer"
  [ "$answer" = EOF ] && input="true"
  expect 1 "edit answered '$answer'" -- sh -c "$input | \"\$0\" -d \"\$1\" edit --name 'Ken Thompson' --address k@x" "$tool" "$work/edit"
  expect 1 "delete answered '$answer'" -- sh -c "$input | \"\$0\" -d \"\$1\" delete 0" "$tool" "$work/edit"
  if cmp -s "$work/edit/ADDRBOOK.DAT" "$work/edit.before"; then pass; else
    fail "the answer '$answer' changed the book"; fi
done
expect 1 "edit of someone else" -- "$tool" -d "$work/edit" edit 0 --comment x --expect "Grace Hopper" --yes
stderr_has "not Grace Hopper" "--expect refuses another entry"
expect 0 "edit an address" -- sh -c "echo yes | \"\$0\" -d \"\$1\" edit --name 'Ken Thompson' --address ken@new.example" "$tool" "$work/edit"
stderr_has "change Ken Thompson <ken@unix.example> (treasurer) to Ken Thompson <ken@new.example> (treasurer)?" "edit asks about the change"
expect 0 "the edited entry" -- "$tool" -d "$work/edit" mutt-query ken@
stdout_has "$(printf 'ken@new.example\tKen Thompson\ttreasurer')" "the query answers address, name, comment"
if [ "$(grep -c "Ken Thompson" "$work/out")" -eq 1 ]; then pass; else
  fail "edit left the old entry"; fi
expect 1 "a query that matches nothing" -- "$tool" -d "$work/edit" mutt-query nobody-at-all
expect 1 "a delete of someone else" -- "$tool" -d "$work/edit" delete 0 --expect "Grace Hopper"
stderr_has "not Grace Hopper" "--expect refuses another entry"
if [ -n "$posix" ]; then
expect 1 "a delete not confirmed" -- sh -c "echo n | script -qec '$tool -d $work/edit delete 0' /dev/null"
expect 0 "a delete confirmed" -- script -qec "$tool -d $work/edit delete 0 --yes" /dev/null

# Completion offers each command's own options and the book's names.
completion="$(dirname "$0")/../tools/addrbook/addrbook.bash-completion"
for case in "expand ''|Chess\\ club Everyone Officers" "show --name Gr|Grace\\ Hopper" \
    "import --d|--dry-run" "list --|--groups --format --help" "export --format l|ldif"; do
  got=$(bash -c 'source "$1"; eval "COMP_WORDS=(\"\$2\" -d \"\$3\" $4)"; COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _addrbook; echo "${COMPREPLY[*]}"' \
    _ "$completion" "$tool" "$work/numbers" "${case%%|*}")
  if [ "$got" = "${case#*|}" ]; then pass; else
    fail "completion of '${case%%|*}': $got"; fi
done

fi

# vCard UIDs name entries by what they hold: an unrelated change keeps them.
mkdir "$work/cards" && cp "$example" "$work/cards/ADDRBOOK.DAT"
"$tool" -d "$work/cards" export --format vcard | grep '^UID:' | sort > "$work/uids.before"
"$tool" -d "$work/cards" add "Aaron Aardvark" "+1 555 0100" > /dev/null
"$tool" -d "$work/cards" export --format vcard > "$work/cards.vcf"
grep '^UID:' "$work/cards.vcf" | sort > "$work/uids.after"
if [ -s "$work/uids.before" ] && [ -z "$(comm -23 "$work/uids.before" "$work/uids.after")" ] &&
   grep -q "TEL;VALUE=text:+1 555 0100" "$work/cards.vcf"; then pass; else
  fail "vCard UIDs changed after an unrelated add"; fi
if /usr/bin/python3 -c "import vobject" 2>/dev/null; then
  if /usr/bin/python3 -c "import sys, vobject; list(vobject.readComponents(open(sys.argv[1]).read(), validate=True))" \
      "$work/cards.vcf"; then pass; else
    fail "python3-vobject refuses the vCard export"; fi
fi

# Twenty programs adding at once: every acknowledged entry is in the book.
mkdir "$work/many"
pids=""
for i in $(seq 1 20); do "$tool" -d "$work/many" add "Many P$i" "p$i@example.org" >/dev/null & pids="$pids $!"; done
acknowledged=0
for pid in $pids; do wait "$pid" && acknowledged=$((acknowledged + 1)); done
expect 0 "list after parallel adds" -- "$tool" -d "$work/many" list --format csv
if [ "$acknowledged" -eq 20 ] && [ "$(grep -c "Many P" "$work/out")" -eq 20 ]; then
  pass; else fail "$acknowledged parallel adds acknowledged, $(grep -c "Many P" "$work/out") in the book"; fi

finish
