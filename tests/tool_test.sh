#!/bin/sh
# Runs the built addrbook tool in scratch directories and checks its output
# and exit statuses.
# Usage: tool_test.sh ADDRBOOK EXAMPLE_BOOK
tool="$1"
example="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
expect() {  # expect STATUS DESCRIPTION -- command...
  want="$1"; what="$2"; shift 3
  "$@" > "$work/out" 2> "$work/err"
  got=$?
  if [ "$got" -eq "$want" ]; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAIL: $what: status $got, wanted $want"; cat "$work/err"; fi
}
contains() {  # contains TEXT DESCRIPTION (in the last output)
  if grep -qF -- "$1" "$work/out" "$work/err"; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAIL: $2: no '$1' in:"; cat "$work/out" "$work/err"; fi
}

mkdir "$work/club" && cp "$example" "$work/club/ADDRBOOK.DAT"
expect 0 "list" -- "$tool" -d "$work/club" list --groups
contains "Ludwig van Beethoven" "list shows the display name"
contains "(group)" "list marks groups"
expect 0 "expand" -- "$tool" -d "$work/club" expand EVERYONE --recursive --format csv
contains "Ken Thompson,ken@unix.example,treasurer,0" "recursive expansion as CSV"
expect 0 "add" -- "$tool" -d "$work/club" add "Zoe Zed" "zoe@example.org" "=SUM(A1)"
expect 0 "list csv" -- "$tool" -d "$work/club" list --format csv
contains "'=SUM(A1)" "a formula is neutralised in CSV"
expect 0 "a second entry of one name" -- "$tool" -d "$work/club" add "Cher" "again@example.org"
expect 1 "ambiguous delete" -- "$tool" -d "$work/club" delete --name Cher
contains "ambiguous" "ambiguous names are refused"
expect 0 "delete by index" -- "$tool" -d "$work/club" delete 0
contains "deleted Ada Byron" "delete names what it deleted"
expect 1 "too long" -- "$tool" -d "$work/club" add "A name that is far too long for it" x
contains "longer than 24" "the reason is given"
expect 1 "missing index" -- "$tool" -d "$work/club" delete 99
expect 2 "usage" -- "$tool" -d "$work/club" frobnicate
expect 0 "help" -- "$tool" list --help
expect 0 "empty book" -- "$tool" -d "$work" list
ADDRBOOK_DIR="$work/club" expect 0 "directory from the environment" -- "$tool" list --format json
contains '"name": "Zoe Zed"' "JSON output"
printf '\003\000\000' > "$work/ADDRBOOK.DAT"
expect 1 "corrupt book" -- "$tool" -d "$work" list
contains "cannot be read" "a corrupt book is reported"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
