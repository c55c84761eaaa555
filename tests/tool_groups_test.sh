#!/bin/sh
# The tool's groups: the group commands, edit keeping an entry in its
# groups (on a full book too), groups imported from each format member by
# member, and every export imported again with its nested groups.  With
# TOOL_PLATFORM=windows, ADDRBOOK runs addrbook.exe under Wine (the
# full-book cases left out, as Wine would take its time).  With "peers" as
# a third argument, other programs read our exports instead: each that is
# not installed is skipped, and the script with none of them (77).
# Usage: tool_groups_test.sh ADDRBOOK EXAMPLE_BOOK [peers]
tool="$1"
example="$2"
. "$(dirname "$0")/test_helpers.sh"
posix=yes
if [ "${TOOL_PLATFORM:-}" = windows ]; then
  posix=""
  "$tool" --version > /dev/null 2>&1
  [ $? -eq 77 ] && { echo "addrbook.exe cannot run on this machine"; exit 77; }
fi
export LANG=C.UTF-8
mkdir "$work/example" && cp "$example" "$work/example/ADDRBOOK.DAT"
example_dir="$work/example"

# The direct members of a group, by name: "Ann Lee|Bo Ray|".
members() { "$tool" -d "$1" expand "$2" --format csv | sed 1d | cut -d, -f1 | tr -d '\r' | tr '\n' '|'; }
has_members() {  # has_members BOOK GROUP "NAME|NAME|" WHAT
  got=$(members "$1" "$2")
  if [ "$got" = "$3" ]; then pass; else fail "$4: $2 holds '$got', not '$3'"; fi
}

# A book with nested groups (a cycle too), made by the group commands.
make_book() {
  mkdir -p "$1"
  for person in "Ann Lee|ann@x.org|" "Bo Ray|bo@x.org|drums" "Ludwig van%Beethoven|l@x.org|"; do
    IFS='|' read -r name address comment <<PERSON
$person
PERSON
    "$tool" -d "$1" add "$name" "$address" "$comment" > /dev/null || fail "add $name"
  done
  "$tool" -d "$1" group create team > /dev/null &&
    "$tool" -d "$1" group create everyone --comment "all of us" > /dev/null &&
    "$tool" -d "$1" group add team --name "Bo Ray" --name "Ann Lee" > /dev/null &&
    "$tool" -d "$1" group add everyone --name team --name "Ludwig van Beethoven" --name "Ann Lee" > /dev/null &&
    "$tool" -d "$1" group add team --name everyone > /dev/null || fail "the groups of $1"
}

if [ "${3:-}" = peers ]; then
  make_book "$work/book"
  ran=0
  # The system's Python, where its packages (python3-vobject, python3-ldap)
  # are.
  py=python3
  [ -x /usr/bin/python3 ] && py=/usr/bin/python3
  if $py -c "import vobject" 2>/dev/null; then
    ran=1
    "$tool" -d "$work/book" export --format vcard > "$work/book.vcf"
    check "python3-vobject reads the group cards with their members" -- $py -c '
import sys, vobject
cards = list(vobject.readComponents(open(sys.argv[1]).read(), validate=True))
uid = {c.uid.value: c.fn.value for c in cards}
team = [c for c in cards if c.fn.value == "team"][0]
assert team.kind.value == "group"
assert [uid[m.value] for m in team.contents["member"]] == ["Bo Ray", "Ann Lee", "everyone"]' "$work/book.vcf"
  else echo "skipped: python3-vobject is not installed"; fi
  if $py -c "import ldif" 2>/dev/null; then
    ran=1
    "$tool" -d "$work/book" export --format ldif > "$work/book.ldif"
    check "python3-ldap's ldif parses the groups with their members" -- $py -c '
import sys, ldif
r = ldif.LDIFRecordList(open(sys.argv[1], "rb")); r.parse()
groups = {dn: a for dn, a in r.all_records if b"groupOfNames" in a.get("objectclass", [])}
assert len(groups["cn=team"]["member"]) == 3 and len(groups["cn=everyone"]["member"]) == 3' "$work/book.ldif"
  else echo "skipped: python3-ldap is not installed"; fi
  if command -v mutt > /dev/null 2>&1; then
    ran=1
    "$tool" -d "$work/book" export --format mutt > "$work/aliases"
    printf 'source "%s"\n' "$work/aliases" > "$work/muttrc"
    # mutt -A gives an alias's list as written (members' keys, which mutt
    # expands again when it sends); each key gives its mailbox.
    expect 0 "mutt -A team" -- mutt -n -F "$work/muttrc" -A team
    stdout_has "bo-ray, ann-lee, everyone" "mutt reads the exported group alias"
    expect 0 "mutt -A on the member keys" -- mutt -n -F "$work/muttrc" -A bo-ray ann-lee everyone
    stdout_has "bo@x.org" "mutt expands a member's key"
    stdout_has "ann@x.org" "mutt expands every member's key"
  else echo "skipped: mutt is not installed"; fi
  [ $ran -eq 1 ] || exit 77
  finish
  exit
fi

# The group commands.
mkdir "$work/club" && cp "$example" "$work/club/ADDRBOOK.DAT"
expect 0 "group create" -- "$tool" -d "$work/club" group create Band --comment plays
expect 1 "a group of that name in any case" -- "$tool" -d "$work/club" group create BAND
stderr_has "is in the book already" "the second group is refused"
expect 0 "group add by index and by name" -- "$tool" -d "$work/club" group add band 2 --name Cher
stdout_has "added Grace Hopper <grace@cobol.example> to Band" "add names each member"
expect 0 "a member added again" -- "$tool" -d "$work/club" group add Band --name "Grace Hopper" --groups
stdout_has "is a member already" "a member already there is said"
has_members "$work/club" Band "Grace Hopper|Cher|" "members in the order added"
expect 0 "a group as a member (--groups numbering)" -- "$tool" -d "$work/club" group add Band 7 --groups
has_members "$work/club" Band "Grace Hopper|Cher|Officers|" "a nested group"
for refused in "group add Band --name Band|a member of itself" "group add Nope 0|no group is named Nope" \
    "group remove Band --name Ada\\ Byron --yes|is not a member" "group add Band 99|no entry has index 99"; do
  eval "set -- ${refused%%|*}"
  expect 1 "refused: ${refused%%|*}" -- "$tool" -d "$work/club" "$@"
  stderr_has "${refused#*|}" "the reason of ${refused%%|*}"
done
expect 2 "group add without members" -- "$tool" -d "$work/club" group add Band
expect 1 "a removal not confirmed" -- sh -c "echo n | \"\$0\" -d \"\$1\" group remove Band --name Cher" "$tool" "$work/club"
has_members "$work/club" Band "Grace Hopper|Cher|Officers|" "no answer, no change"
expect 0 "a removal confirmed" -- sh -c "echo y | \"\$0\" -d \"\$1\" group remove Band --name Cher 2 --groups" "$tool" "$work/club"
has_members "$work/club" Band "Grace Hopper|Officers|" "Cher removed"
expect 0 "group list" -- "$tool" -d "$work/club" group list
stdout_has "$(printf 'Band\t2 members\tplays')" "group list counts members"
stdout_has "$(printf 'Officers\t2 members')" "every group is listed"
expect 0 "group delete" -- "$tool" -d "$work/club" group delete band --yes
expect 0 "the members stay" -- "$tool" -d "$work/club" list --groups --format csv
if grep -q "Grace Hopper" "$work/out" && ! grep -q ",Band," "$work/out"; then pass; else
  fail "group delete took the wrong entries" "$work/out"; fi

# Edit keeps the entry in every group that held it, and a change of the
# surname split alone is a change.
has_members "$work/club" Officers "Ada Byron|Ken Thompson|" "Officers before the edit"
expect 0 "edit an officer" -- "$tool" -d "$work/club" edit --name "Ken Thompson" --address ken@new.example --yes
has_members "$work/club" Officers "Ada Byron|Ken Thompson|" "the edited entry stays in Officers"
expect 0 "Officers' new member" -- "$tool" -d "$work/club" expand Officers --format csv
stdout_has "ken@new.example" "the member is the new entry"
expect 0 "add a name" -- "$tool" -d "$work/club" add "Clara Schumann Wieck" c@x.org
expect 0 "edit the surname split" -- "$tool" -d "$work/club" edit --name "Clara Schumann Wieck" --name-to "Clara Schumann%Wieck" --yes
stdout_has "changed" "a new surname split is a change"
expect 0 "the new split" -- "$tool" -d "$work/club" show --name "Clara Schumann Wieck"
stdout_has "surname:  Schumann Wieck" "the surname is two words now"

# Each format's file with groups, imported and checked member by member.
vcard() { printf 'BEGIN:VCARD\r\nVERSION:%s\r\n%b\r\nEND:VCARD\r\n' "$1" "$2"; }
{ vcard 4.0 'UID:urn:uuid:a1\r\nFN:Ann Lee\r\nEMAIL:ann@x.org'
  vcard 4.0 'UID:urn:uuid:b2\r\nFN:Bo Ray\r\nEMAIL:bo@x.org'
  vcard 4.0 'KIND:group\r\nUID:urn:uuid:g1\r\nFN:Team\r\nMEMBER:urn:uuid:b2\r\nMEMBER:urn:uuid:a1'
  vcard 4.0 'KIND:group\r\nFN:All\r\nMEMBER:urn:uuid:g1\r\nMEMBER:urn:uuid:a1'; } > "$work/v4.vcf"
{ vcard 3.0 'UID:A1\r\nFN:Ann Lee\r\nEMAIL:ann@x.org'
  vcard 3.0 'UID:B2\r\nFN:Bo Ray\r\nEMAIL:bo@x.org'
  vcard 3.0 'X-ADDRESSBOOKSERVER-KIND:group\r\nFN:Team\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:B2\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:A1'; } > "$work/v3.vcf"
printf 'dn: cn=Ann Lee,mail=ann@x.org\ncn: Ann Lee\nmail: ann@x.org\n\ndn: cn=Bo Ray,mail=bo@x.org\ncn: Bo Ray\nmail: bo@x.org\n\ndn: cn=Team\nobjectclass: groupOfNames\ncn: Team\nmember: cn=Bo Ray,mail=bo@x.org\nmember: cn=Ann Lee,mail=ann@x.org\n' > "$work/tb.ldif"
printf 'alias ann Ann Lee <ann@x.org>\nalias Team bo@x.org, ann\n' > "$work/aliases"
printf 'First Name,Last Name,E-mail 1 - Value,Labels\nBo,Ray,bo@x.org,* myContacts ::: Team\nAnn,Lee,ann@x.org,Team ::: * starred\n' > "$work/google.csv"
printf '"First Name","Last Name","E-mail Address","Categories"\r\n"Bo","Ray","bo@x.org","Team;Other"\r\n"Ann","Lee","ann@x.org","Team"\r\n' > "$work/outlook.csv"
for case in "v4.vcf|Bo Ray|Ann Lee|imported 2 of 2 cards and 2 of 2 groups" \
    "v3.vcf|Bo Ray|Ann Lee|imported 2 of 2 cards and 1 of 1 group" \
    "tb.ldif|Bo Ray|Ann Lee|imported 2 of 2 records and 1 of 1 group" \
    "aliases|bo@x.org|Ann Lee|imported 2 of 2 aliases and 1 of 1 group" \
    "google.csv|Bo Ray|Ann Lee|imported 2 of 2 rows and 1 of 1 group" \
    "outlook.csv|Bo Ray|Ann Lee|imported 2 of 2 rows and 2 of 2 groups"; do
  IFS='|' read -r file first second summary <<CASE
$case
CASE
  rm -rf "$work/in" && mkdir "$work/in"
  expect 0 "import $file" -- "$tool" -d "$work/in" import "$work/$file"
  stdout_has "$summary" "the summary of $file"
  has_members "$work/in" team "$first|$second|" "the group of $file"
done
has_members "$work/in" Other "Bo Ray|" "each category a group"
rm -rf "$work/in" && mkdir "$work/in"
expect 0 "a dry run with groups" -- "$tool" -d "$work/in" import --dry-run "$work/google.csv"
stdout_has "would add the group Team with 2 members" "the dry run says the groups"
rm -rf "$work/in" && mkdir "$work/in"
expect 0 "import v4.vcf" -- "$tool" -d "$work/in" import "$work/v4.vcf"
has_members "$work/in" All "Team|Ann Lee|" "a group in a group"
# A member not in the file, a group too big: said, and the rest imported.
{ vcard 4.0 'FN:Cy Dee\r\nEMAIL:cy@x.org\r\nUID:c3'
  vcard 4.0 'KIND:group\r\nFN:Officers\r\nMEMBER:urn:uuid:c3\r\nMEMBER:urn:uuid:gone'; } > "$work/more.vcf"
expect 1 "a group that names a member not in the file" -- "$tool" -d "$work/club" import "$work/more.vcf"
stderr_has "more.vcf:7: Officers: member gone is not in the file" "the missing member is said"
stdout_has "imported 1 of 1 card and 1 of 1 group; 1 member left out (said above)" "the summary adds up"
has_members "$work/club" Officers "Ada Byron|Ken Thompson|Cy Dee|" "a group of the book gains the new members"
awk 'BEGIN { printf "alias big "; for (i = 0; i < 256; i++) printf "%sm%d@x.org", (i ? ", " : ""), i; print "" }' > "$work/big"
rm -rf "$work/in" && mkdir "$work/in"
expect 1 "a group of 256 members" -- "$tool" -d "$work/in" import "$work/big"
stderr_has "the group would have 256 members; a group holds at most 255" "the reason is given"
stdout_has "imported 256 of 256 aliases and 0 of 1 group; 1 refused" "the members go in without the group"
# group add fills a group to 255 members, all in one save, and no further.
"$tool" -d "$work/in" group create big > /dev/null
expect 1 "group add of 256 members" -- "$tool" -d "$work/in" group add big $(seq 0 255)
stderr_has "the group would have 256 members; a group holds at most 255" "a full group is no full book"
expect 0 "group add of 255 members" -- "$tool" -d "$work/in" group add big $(seq 0 254)
expect 1 "one more" -- "$tool" -d "$work/in" group add big 255
stderr_has "the group would have 256 members" "the 256th member is refused"

# Every export imports again with its groups, nested ones and a cycle too.
make_book "$work/book"
for format in vcard csv json ldif mutt; do
  rm -rf "$work/again" && mkdir "$work/again"
  "$tool" -d "$work/book" export --format $format > "$work/book.$format"
  expect 0 "import the $format export" -- "$tool" -d "$work/again" import "$work/book.$format"
  stdout_has "and 2 of 2 groups" "the $format export's groups"
  has_members "$work/again" team "Bo Ray|Ann Lee|everyone|" "team through $format"
  has_members "$work/again" everyone "team|Ludwig van Beethoven|Ann Lee|" "everyone through $format"
  "$tool" -d "$work/book" list --groups --format csv > "$work/want"
  "$tool" -d "$work/again" list --groups --format csv > "$work/got"
  if cmp -s "$work/want" "$work/got"; then pass; else
    fail "the $format round trip"; diff "$work/want" "$work/got"; fi
done

if [ -n "$posix" ]; then
# A full book (4095 entries, one of them a group): an edit still works, in
# one transaction, and keeps the group.
mkdir "$work/full"
awk 'BEGIN { print "First Name,Last Name,E-mail 1 - Value,Labels"; for (i = 0; i < 4094; i++) printf "F%04d,Full,f%d@x.org,%s\n", i, i, (i < 2 ? "Team" : "") }' > "$work/full.csv"
expect 0 "import a full book" -- "$tool" -d "$work/full" import "$work/full.csv"
stdout_has "imported 4094 of 4094 rows and 1 of 1 group" "the book is full"
expect 0 "edit on a full book" -- "$tool" -d "$work/full" edit --name "F0000 Full" --address new@x.org --yes
expect 0 "the full book after the edit" -- "$tool" -d "$work/full" list --groups --format csv
[ "$(grep -c "new@x.org" "$work/out") $(wc -l < "$work/out")" = "1 4096" ] && pass ||
  fail "the full book after an edit does not hold 4095 entries with the new one"
has_members "$work/full" Team "F0001 Full|F0000 Full|" "the edited entry stays in its group"

# Completion offers group's actions, the book's groups and each action's
# options.
completion="$(dirname "$0")/../tools/addrbook/addrbook.bash-completion"
for case in "group ''|create add remove delete list --help" "group add ''|Chess\\ club Everyone Officers" \
    "group remove Officers --|--groups --name --yes --help" "group delete O|Officers"; do
  got=$(bash -c 'source "$1"; eval "COMP_WORDS=(\"\$2\" -d \"\$3\" $4)"; COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _addrbook; echo "${COMPREPLY[*]}"' \
    _ "$completion" "$tool" "$example_dir" "${case%%|*}")
  if [ "$got" = "${case#*|}" ]; then pass; else fail "completion of '${case%%|*}': $got"; fi
done
fi

finish
