# Shared by the shell tests, which source it as
#   . "$(dirname "$0")/test_helpers.sh"
# It makes a scratch directory $work (removed on exit) and counts the checks
# that pass and fail; a script ends with `finish`.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

pass() { passed=$((passed + 1)); }

fail() {  # fail DESCRIPTION [FILE...]: counts a failure and shows the files
  failed=$((failed + 1))
  echo "FAIL: $1"
  shift
  [ $# -eq 0 ] || cat "$@"
}

# check DESCRIPTION -- command...: passes when the command succeeds; its
# output and errors go together to $work/out, shown when it fails.  Status
# 77 means the command cannot run on this machine: the script is skipped.
check() {
  what="$1"
  shift 2
  "$@" > "$work/out" 2>&1
  status=$?
  [ $status -eq 77 ] && { echo "cannot run here: $what"; exit 77; }
  if [ $status -eq 0 ]; then pass; else fail "$what" "$work/out"; fi
}

# expect STATUS DESCRIPTION -- command...: passes when the command exits
# with STATUS.  Its standard output is kept in $work/out and its standard
# error in $work/err, apart, for stdout_has and stderr_has.
expect() {
  want="$1"
  what="$2"
  shift 3
  "$@" > "$work/out" 2> "$work/err"
  got=$?
  if [ "$got" -eq "$want" ]; then pass; else fail "$what: status $got, wanted $want" "$work/err"; fi
}

# stdout_has / stderr_has TEXT DESCRIPTION: passes when the last command of
# expect wrote TEXT to that stream; a failure shows both streams.
stdout_has() { stream_has out "$@"; }
stderr_has() { stream_has err "$@"; }
stream_has() {
  if grep -qF -- "$2" "$work/$1"; then pass; else
    fail "$3: no '$2' in std$1; stdout was:" "$work/out"
    echo "stderr was:"
    cat "$work/err"
  fi
}

# tool_platform TOOL: posix=yes natively; with TOOL_PLATFORM=windows (TOOL
# runs addrbook.exe under Wine) posix is empty, and the script is skipped
# where Wine cannot run.
tool_platform() {
  posix=yes
  if [ "${TOOL_PLATFORM:-}" = windows ]; then
    posix=""
    "$1" --version > /dev/null 2>&1
    [ $? -eq 77 ] && { echo "addrbook.exe cannot run on this machine"; exit 77; }
  fi
}

finish() {  # the summary line, and the script's status
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
