#!/bin/sh
# Four programs at once add and delete entries of their own in one book,
# each holding a view open throughout (the first making its changes in
# transactions); then the book must hold exactly the
# acknowledged changes.  With --kill, workers are killed (SIGKILL) at random
# moments and others started in their place.  With --remove-lock, eight
# programs change the book while another removes its lock file every 5 ms,
# as a user who takes it for a stale lock would; changes may then be
# refused, but none acknowledged may be lost or undone.
#   share_stress.sh RUNNER PROGRAM WORKDIR [--kill | --remove-lock]
# RUNNER runs a program ("-" for a native one, scripts/wine-run under
# Wine); its exit status 77 (cannot run here) skips the test.
run="$1" program="$2" work="$3" kill="$4"
[ "$run" = "-" ] && run=""
book="$work/book"
rm -rf "$work"
mkdir -p "$book"
adds=30
workers=0
pids=""
count=4
tolerant=""
if [ "$kill" = "--remove-lock" ]; then
  count=8
  tolerant=tolerant
  $run "$program" unlock "$book" "$work/stop" >"$work/unlock.log" 2>&1 &
  remover=$!
fi

# The first worker makes its changes in transactions.
start() {
  workers=$((workers + 1))
  batch=""
  [ "$workers" -eq 1 ] && batch=batch
  $run "$program" work "$book" "$workers" "$adds" $tolerant $batch >"$work/log.$workers" 2>"$work/err.$workers" &
  pids="$pids $!"
}

for _ in $(seq 1 $count); do start; done
if [ "$kill" = "--kill" ]; then
  # Eight rounds: let the workers run a little, kill one, start another.
  for round in 1 2 3 4 5 6 7 8; do
    sleep "0.0$(awk "BEGIN { srand($$ + $round); printf \"%d\", 10 + rand() * 89 }")"
    victim=$(echo $pids | tr ' ' '\n' | awk -v r="$round" 'BEGIN { srand(r + '"$$"') } { p[NR] = $0 } END { print p[int(1 + rand() * NR)] }')
    kill -9 "$victim" 2>/dev/null
    start
  done
fi

failed=0
for pid in $pids; do
  wait "$pid"
  status=$?
  [ $status -eq 77 ] && exit 77
  # 137: killed on purpose.
  if [ $status -ne 0 ] && [ $status -ne 137 ]; then
    echo "a worker failed with status $status" >&2
    failed=1
  fi
done
if [ -n "${remover:-}" ]; then
  touch "$work/stop"
  wait "$remover"
  cat "$work/unlock.log"
  echo "$(cat "$work"/log.* | grep -c '^no ') changes refused"
fi
for err in "$work"/err.*; do [ -s "$err" ] && cat "$err" >&2; done
$run "$program" check "$book" "$work"/log.* || failed=1
exit $failed
