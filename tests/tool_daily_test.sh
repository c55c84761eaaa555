#!/bin/sh
# The tool as a new user meets it day to day, a table per family of
# commands: the book's encoding found, search as people type, failures
# told from empty answers, indexes in the command's numbering, messages,
# safe output and completion.  With TOOL_PLATFORM=windows, ADDRBOOK runs
# addrbook.exe under Wine (tables redirected are then Windows-1252); the
# cases about POSIX users, debuggers and bash are left out there.
# Usage: tool_daily_test.sh ADDRBOOK EXAMPLE_BOOK
tool="$1"
example="$2"
. "$(dirname "$0")/test_helpers.sh"
tool_platform "$tool"
export LANG=C.UTF-8
ab() { "$tool" "$@"; }
# Under Wine a run takes seconds: a case that repeats another's code path
# for a second book or output runs natively only.
books="utf8 cp" outputs="'' --utf8" answers="y Y yes Yes YES ' yes '"
[ -n "$posix" ] || books="utf8" outputs="''" answers="Yes"

# has FILE TEXT DESCRIPTION / lacks ...: a check of a file's bytes.
has() { if LC_ALL=C grep -qF -- "$2" "$1"; then pass; else fail "$3" "$1"; fi; }
lacks() { if LC_ALL=C grep -qF -- "$2" "$1"; then fail "$3" "$1"; else pass; fi; }

# The book's encoding found: a UTF-8 book is read and written as UTF-8
# unflagged; a Windows-1252 book stays one; nothing goes in in another.
mkdir "$work/utf8" "$work/cp"
expect 0 "a UTF-8 book made" -- ab -d "$work/utf8" --encoding utf8 add "Zoë Zed" z@x
expect 0 "René added unflagged" -- ab -d "$work/utf8" add "René Dupré" r@x
has "$work/utf8/ADDRBOOK.DAT" "René Dupré" "René is stored in the book's UTF-8"
expect 0 "cp1252 book" -- ab -d "$work/cp" add "José Müller" j@x
expect 0 "into the cp1252 book" -- ab -d "$work/cp" add "Zoë Cp" z@x
has "$work/cp/ADDRBOOK.DAT" "$(printf 'Zo\353 Cp')" "a cp1252 book takes cp1252"
while IFS='|' read -r status args text; do
  what="encoding: $args"
  eval "expect $status \"\$what\" -- ab $args"
  stream=stdout
  [ "$status" -ne 0 ] && stream=stderr
  ${stream}_has "$text" "encoding: $args"
done <<'EOF'
0|--utf8 -d "$work/utf8" list|Zoë Zed
0|-d "$work/utf8" export --format csv|René Dupré
0|-d "$work/cp" list --format csv|José Müller
1|-d "$work/utf8" --encoding cp1252 add "Noël X" n@x|book's text is UTF-8
0|-d "$work/utf8" --encoding cp1252 add "Plain Ascii" p@x|added Plain Ascii
1|-d "$work/cp" --encoding utf8 add "Noël X" n@x|not UTF-8
0|-d "$work/cp" --encoding utf8 --utf8 list|Jos\xe9 M\xfcller
EOF
lacks "$work/out" "$(printf '\357\277\275')" "a byte of no encoding is no U+FFFD"

# Search as people type, in a UTF-8 and a Windows-1252 book alike.
for book in $books; do
  ab -d "$work/$book" add "Émile Müller" e@x > /dev/null
  ab -d "$work/$book" add "François O'Neill" f@x > /dev/null
  while IFS='|' read -r status args text; do
    what="$book: $args"
    eval "expect $status \"\$what\" -- ab --utf8 -d \"$work/$book\" $args"
    if [ "$status" -eq 0 ]; then stdout_has "$text" "$book: $args"; else
      stderr_has "$text" "$book: $args"; fi
  done <<'EOF'
0|find émile|Émile Müller
0|find MULLER|Émile Müller
0|find zoe|Zoë
0|find oneill|François O'Neill
0|find --exact Müller|Émile Müller
1|find --exact muller|no entry holds muller exactly
1|find nobody|no entry holds nobody
0|mutt-query muller|e@x	Émile Müller
0|show --name "emile muller"|address:  e@x
1|mutt-query --exact zoe|no entry holds
EOF
done

# Failures are failures: an empty group is an answer, a group that cannot
# be read fails expand, show and export (which then writes nothing).
mkdir "$work/club" && cp "$example" "$work/club/ADDRBOOK.DAT"
ab -d "$work/club" delete --name "Alan Kay" --name "Dennis Thompson" --name "Grace Hopper" --yes > /dev/null
expect 0 "an empty group" -- ab -d "$work/club" expand "Chess club"
stderr_has "has no members" "an empty group is said to be empty"
expect 1 "no such group" -- ab -d "$work/club" expand "Chess clubs"
stderr_has "no group is named Chess clubs" "a missing group is no empty one"
if [ -n "$posix" ] && command -v gdb > /dev/null; then
  # The book is replaced by garbage after the command has listed it, as
  # OvelExpandGroup begins: a real read of a damaged file.
  printf 'garbage' > "$work/garbage"
  for command in "expand Officers" "show 2 --groups" "export --format csv"; do
    cp "$example" "$work/club/ADDRBOOK.DAT"
    gdb -q -batch -ex 'set breakpoint pending on' -ex 'set environment ASAN_OPTIONS detect_leaks=0' \
      -ex 'break OvelExpandGroup' -ex "run -d $work/club $command > $work/out 2> $work/err" \
      -ex "shell cp $work/garbage $work/club/ADDRBOOK.DAT" -ex delete -ex continue \
      -ex 'quit $_exitcode' --args "$tool" > "$work/gdb" 2>&1
    got=$?
    [ "$got" -eq 1 ] && pass || fail "$command on a book damaged meanwhile: status $got" "$work/gdb"
    has "$work/err" "cannot be read: the book file is damaged" "$command names the cause"
    [ -s "$work/out" ] && [ "$command" != "show 2 --groups" ] && fail "$command wrote" "$work/out"
  done
fi
expect 1 "an export that cannot be written out" -- sh -c 'exec "$0" -d "$1" export --format csv > /dev/full' "$tool" "$work/cp"
[ -z "$posix" ] || stderr_has "could not be written out" "a cut-short export fails"

# Indexes in the numbering the command takes.
mkdir "$work/dup" && cp "$example" "$work/dup/ADDRBOOK.DAT"
ab -d "$work/dup" add "Dup Name" one@x > /dev/null
ab -d "$work/dup" add "Dup Name" two@x > /dev/null
ab -d "$work/dup" add "Officers" plain@x > /dev/null
for case in "Dup Name||" "Officers|--groups|with --groups"; do
  name=${case%%|*}; flags=$(echo "$case" | cut -d'|' -f2); said=${case##*|}
  expect 1 "ambiguous $name" -- ab --utf8 -d "$work/dup" delete --name "$name"
  [ -z "$said" ] || stderr_has "$said" "the hint names the flag its numbers need"
  # Each listed index and what show then shows: its address, or members.
  tr -d '\r' < "$work/err" |
    awk '/^ *[0-9]+ / { print $1, (/[(]group[)]/ ? "members:" : $NF) }' > "$work/hinted"
  [ "$(wc -l < "$work/hinted")" -eq 2 ] || fail "the hint lists both $name" "$work/err"
  while read -r index shown; do
    expect 0 "show $index $flags" -- ab -d "$work/dup" show $index $flags
    stdout_has "$shown" "index $index of the hint is the entry it lists"
  done < "$work/hinted"
done

# Messages that help.
mkdir "$work/msg"
printf 'n\n' > "$work/no"
while IFS='|' read -r status args text; do
  what="message: $args"
  eval "expect $status \"\$what\" -- ab -d \"$work/msg\" $args"
  stderr_has "$text" "message: $args"
done <<'EOF'
1|import "$work"|is a directory
1|import "$work/none.csv"|no such file or directory
2|list --fromat csv|did you mean --format?
2|lst|did you mean list?
2|find --exakt x|did you mean --exact?
2|list extra|list takes no argument 'extra'
EOF
eval "set -- $answers"
for answer; do
  ab -d "$work/msg" add "Ask Me" a@x > /dev/null
  printf '%s\n' "$answer" > "$work/answer"
  expect 0 "the answer '$answer'" -- ab -d "$work/msg" delete 0 < "$work/answer"
done
expect 0 "help" -- ab --help
stdout_has "Usage: addrbook [OPTIONS]" "help names the program as it is typed"
if [ -n "$posix" ]; then stdout_has '$ADDRBOOK_DIR' "the variable as the shell names it"; else
  stdout_has '%ADDRBOOK_DIR%' "the variable as Windows names it"; fi
lacks "$work/out" ".exe" "help names no .exe"
if [ -n "$posix" ] && [ "$(id -u)" -eq 0 ]; then
  # Another user, who may not read or write what the owner keeps.
  mkdir -m 755 "$work/bin" "$work/ro" && chmod 711 "$work"
  cp "$tool" "$(dirname "$tool")"/libovel.so.1 "$work/bin/" && chmod a+rx "$work/bin"/*
  other="env LD_LIBRARY_PATH=$work/bin setpriv --reuid=65534 --regid=65534 --clear-groups $work/bin/$(basename "$tool")"
  ab -d "$work/ro" add "Read Only" r@x > /dev/null
  chmod 444 "$work/ro/ADDRBOOK.DAT"
  expect 1 "a read-only book" -- $other -d "$work/ro" add "New One" n@x
  stderr_has "the book is read-only" "a read-only book is named as such"
  chmod 600 "$work/msg/ADDRBOOK.DAT" 2> /dev/null; printf 'x\n' > "$work/secret.csv"; chmod 600 "$work/secret.csv"
  expect 1 "a file another may not read" -- $other -d "$work/ro" import "$work/secret.csv" --dry-run
  stderr_has "permission denied" "the cause of an unreadable file"
fi

# Safe output: no byte that is a control on the output goes through raw,
# from any command that shows book text; a line break is a mark in tables
# and lines in show.
# A Windows-1252 book with its undefined bytes and C1 controls, a UTF-8
# one with the bidirectional marks and separators.
mkdir "$work/safe" "$work/safe8"
ab -d "$work/safe" add "Ctl Ctl" c@x "$(printf 'a\302\201b\302\235c\302\220d\302\215\302\217e\033f')" > /dev/null
ab -d "$work/safe" add "Two Lines" t@x "$(printf 'first line\nsecond line')" > /dev/null
ab -d "$work/safe8" --encoding utf8 add "Ctl Ctl" c@x "$(printf 'a\302\201c\342\200\216d\342\200\250e\330\234\342\200\251')" > /dev/null
printf 'name,address,comment\n"Imp \302\220x",i@x,"\302\235y"\n' > "$work/safe.csv"
for run in "safe list" "safe show 0" "safe find ctl" "safe delete 0" "safe import $work/safe.csv --dry-run" \
    "safe8 list" "safe8 show 0" "safe8 find ctl" "safe8 delete 0"; do
  book=${run%% *}; command=${run#* }
  [ -n "$posix" ] || [ "$book" = safe ] || continue
  eval "set -- $outputs"
  for output; do
    ab $output -d "$work/$book" $command < "$work/no" > "$work/out" 2>&1
    # C0 but the line end (LF, CRLF on Windows), DEL, C1 as UTF-8, the marks as UTF-8, and on
    # Windows-1252 output its undefined bytes.
    if LC_ALL=C grep -q "$(printf '[\001-\011\013\014\016-\037\177]\|\302[\200-\237]\|\342\200[\216\217\250\251]\|\330\234')" "$work/out" ||
       { [ -z "$output" ] && [ -z "$posix" ] && LC_ALL=C grep -q "$(printf '[\201\215\217\220\235]')" "$work/out"; }; then
      fail "$run $output lets a control through" "$work/out"; else pass; fi
  done
done
expect 0 "list a comment of two lines" -- ab --utf8 -d "$work/safe" list
stdout_has "first line↵second line" "a line break is a mark in tables"
expect 0 "show a comment of two lines" -- ab --utf8 -d "$work/safe" show --name "Two Lines"
stdout_has "$(printf 'comment:  first line\n          second line')" "show shows the lines"
has "$work/out" "          second line" "the second line under the first"
if [ -n "$posix" ] && locale -a 2> /dev/null | grep -qi '^de_DE.iso88591$'; then
  expect 0 "mutt-query on a Latin-1 terminal" -- env LC_ALL=de_DE.iso88591 "$tool" -d "$work/cp" mutt-query zoe
  has "$work/out" "$(printf 'Zo\353 Cp')" "mutt-query writes the locale's encoding"
fi

# Completion through bash: names quoted for the shell, each once, matched
# as find matches; a comment's line is no candidate.
if [ -n "$posix" ] && command -v bash > /dev/null; then
  mkdir "$work/names"
  for name in "Ed O'Brien" "François O'Neill" "Fr%Twice" "Fr%Twice"; do
    ab -d "$work/names" add "$name" "$(echo "$name" | tr -dc a-z)@x" "$(printf 'Fr line\nFr comment')" > /dev/null
  done
  completion="$(dirname "$0")/../tools/addrbook/addrbook.bash-completion"
  while IFS='|' read -r words want; do
    got=$(bash -c 'source "$1"; eval "COMP_WORDS=(\"\$2\" -d \"\$3\" $4)"; COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _addrbook; echo "${COMPREPLY[*]}"' \
      _ "$completion" "$tool" "$work/names" "$words")
    [ "$got" = "$want" ] && pass || fail "completion of '$words': '$got', wanted '$want'"
  done <<'EOF'
delete --name Ed|Ed\ O\'Brien
delete --name fr|Fr\ Twice François\ O\'Neill
show --name \"franc|François\ O\'Neill
edit --name Ed\\\ O\\\'B|Ed\ O\'Brien
find --|--exact --format --help
list --|--groups --format --help
EOF
  # What completion offers the shell takes back as the name itself.
  candidate=$(bash -c 'source "$1"; COMP_WORDS=("$2" -d "$3" delete --name fra); COMP_CWORD=5; _addrbook; echo "${COMPREPLY[0]}"' \
    _ "$completion" "$tool" "$work/names")
  eval "set -- $candidate"
  expect 0 "delete the completed name" -- ab -d "$work/names" delete --name "$1" --yes
  stdout_has "deleted François O'Neill" "the completed name names the entry"
fi

finish
