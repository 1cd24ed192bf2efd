#!/bin/sh
# Runs the Windows console test program under Wine on a real console: Wine
# draws its console only on a terminal, so the program runs in a detached
# tmux session of 80 x 25, its standard output (the test report) to a file.
# usage: console_wine_tmux_test.sh TEST_EXE WINE_RUNNER
set -eu
export LC_ALL=C.UTF-8
EXE=$1 WINE=$2
command -v tmux >/dev/null || { echo "SKIP: tmux is not installed"; exit 77; }
work=$(mktemp -d)
sock="$work/tmux.sock"
cleanup() { tmux -S "$sock" kill-server 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
q() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
tmux -u -S "$sock" -f /dev/null new-session -d -s s -x 80 -y 25 -c "$work" \
  "$(q "$WINE") $(q "$EXE") > report; echo \$? > status; sleep 600"
i=0
while [ ! -s "$work/status" ]; do
  i=$((i + 1)); [ $i -gt 1200 ] && { echo "FAIL: the test program did not end"; exit 1; }
  sleep 0.1
done
tr -d '\r' < "$work/report"
status=$(cat "$work/status")
grep -q '^\[  SKIPPED \]' "$work/report" && { echo "FAIL: skipped: Wine gave it no console"; exit 1; }
exit "$status"
