#!/bin/sh
# The Windows ehiselect.exe on Wine's console in a real terminal (tmux,
# 80 x 25): its screen must be the native ehiselect's cell for cell; mouse
# clicks and a key, played into the console as input records, mark entries
# and end the screen; the console's input mode is put back.
# usage: ehiselect_wine_tmux_test.sh NATIVE_EHISELECT EHISELECT_EXE CONSOLE_INJECT_EXE WINE_RUNNER
set -eu
export LC_ALL=C.UTF-8
NATIVE=$1 EXE=$2 INJECT=$3 WINE=$4
command -v tmux >/dev/null || { echo "SKIP: tmux is not installed"; exit 77; }

work=$(mktemp -d)
sock="$work/tmux.sock"
T() { tmux -u -S "$sock" "$@"; }
cleanup() { T kill-server 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
mkdir "$work/files"
for f in alpha.txt bravo.txt charlie.txt delta.txt echo.txt; do : > "$work/files/$f"; done
q() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
screen() { T capture-pane -p -t s | sed 's/ *$//'; }
wait_for() {  # text, seconds
  i=0
  while ! screen | grep -qF -- "$1"; do
    i=$((i + 1)); [ $i -gt $(( $2 * 10 )) ] && return 1; sleep 0.1
  done
}
wait_file() {  # path, seconds
  i=0
  while [ ! -s "$1" ]; do
    i=$((i + 1)); [ $i -gt $(( $2 * 10 )) ] && return 1; sleep 0.1
  done
}
# The session's standard error stays on the terminal: Wine draws its
# console there only when it is.
session() {  # the command the session runs
  T kill-server 2>/dev/null || true
  rm -f "$work/out" "$work/status"
  T -f /dev/null new-session -d -s s -x 80 -y 25 -c "$work/files" \
    "cd $(q "$work/files"); $1 > ../out; echo \$? > ../status; sleep 600"
}

# Two screens are the same when every cell is, except that the list's rows
# may come in another order: each system lists a folder in an order of its
# own.
same_screens() {
  python3 - "$1" "$2" <<'PY'
import sys
a, b = (open(p, encoding="utf-8").read().split("\n") for p in sys.argv[1:3])
def parts(rows):
    rows = rows + [""] * (25 - len(rows))
    listed = sorted(r[:34] for r in rows[2:24])
    return [r[34:] if 2 <= i < 24 else r for i, r in enumerate(rows)], listed
sys.exit(0 if parts(a) == parts(b) else 1)
PY
}

# The native screen, as the reference.
session "$(q "$NATIVE")"
wait_for "Quit Program" 10 || { fail "the native screen did not come up"; exit 1; }
screen > "$work/native.txt"
T send-keys -t s x
wait_file "$work/status" 10 || fail "the native ehiselect did not end"

# The Windows screen: the same cells; then two entries are clicked (each
# mark awaited in its cell) and a key ends the screen.
inject="$(q "$WINE") $(q "$INJECT") $(q "$EXE") --"
session "$inject 'wait:Quit Program' file:../go clickrow:bravo.txt,5 cellrow:bravo.txt,2,* clickrow:delta.txt,5 cellrow:delta.txt,2,* key:x"
wait_for "Quit Program" 60 || { fail "the Windows screen did not come up"; screen; exit 1; }
sleep 0.5
screen > "$work/windows.txt"
if ! same_screens "$work/native.txt" "$work/windows.txt"; then
  fail "the screens differ:"
  diff "$work/native.txt" "$work/windows.txt" || true
fi
: > "$work/go"
wait_file "$work/status" 60 || fail "the Windows ehiselect did not end"
[ "$(cat "$work/status")" = 0 ] || fail "status $(cat "$work/status") (90: input mode not restored, 3: a step failed)"
[ "$(tr -d '\r' < "$work/out" | sort | tr '\n' ' ')" = "bravo.txt delta.txt " ] ||
  fail "printed: $(cat "$work/out")"

# Quit Program: status 1, nothing printed, the mode put back.
session "$inject 'wait:Quit Program' click:50,22"
wait_file "$work/status" 60 || fail "quit: ehiselect did not end"
[ "$(cat "$work/status")" = 1 ] || fail "quit: status $(cat "$work/status")"
[ -s "$work/out" ] && fail "quit printed names: $(cat "$work/out")"

[ $fails -eq 0 ] && echo "ok: the Windows screen equals the native one; clicks, a key and Quit work"
exit $fails
