#!/bin/sh
# The Windows ehiselect.exe on Wine's console in a real terminal (tmux,
# 80 x 25): its screen (the console's cells, names in UTF-8 as characters, a
# wide one in both halves of its cells) must be the native ehiselect's cell
# for cell; mouse clicks and keys, played into the console as input records,
# mark entries, type a mask with characters beyond ASCII and end the screen;
# the names are printed as their UTF-8 bytes; the console's input mode is
# put back.
# usage: ehiselect_wine_tmux_test.sh NATIVE_EHISELECT EHISELECT_EXE CONSOLE_INJECT_EXE WINE_RUNNER
set -eu
export LC_ALL=C.UTF-8
NATIVE=$1 EXE=$2 INJECT=$3 WINE=$4
command -v tmux >/dev/null || { echo "SKIP: tmux is not installed"; exit 77; }

work=$(mktemp -d)
# Each session gets a server of its own on a fresh socket: a server that is
# still going away after kill-server would meet the next session's first
# command ("server exited unexpectedly").
servers=0
sock="$work/tmux.0.sock"
T() { tmux -u -S "$sock" "$@"; }
cleanup() {
  for s in "$work"/tmux.*.sock; do tmux -S "$s" kill-server 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/files"
wide=日本語-wide.txt
for f in alpha.txt bravo.txt charlie.txt delta.txt echo.txt café.txt "$wide"; do
  : > "$work/files/$f"
done
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
  servers=$((servers + 1))
  sock="$work/tmux.$servers.sock"
  rm -f "$work/out" "$work/status"
  T -f /dev/null new-session -d -s s -x 80 -y 25 -c "$work/files" \
    "cd $(q "$work/files"); $1 > ../out; echo \$? > ../status; sleep 600"
}

# Two screens are the same when every cell is, except that the list's rows
# may come in another order: each system lists a folder in an order of its
# own. A wide character takes two cells.
same_screens() {
  python3 - "$1" "$2" <<'PY'
import sys, unicodedata
a, b = (open(p, encoding="utf-8").read().split("\n") for p in sys.argv[1:3])
def cells(row):
    out = []
    for ch in row.rstrip():
        out += [ch, ""] if unicodedata.east_asian_width(ch) in "WF" else [ch]
    return out
def parts(rows):
    rows = [cells(r) for r in rows[:25]] + [[]] * (25 - len(rows[:25]))
    listed = sorted("".join(r[:34]) for r in rows[2:24])
    return ["".join(r[34:] if 2 <= i < 24 else r).rstrip() for i, r in enumerate(rows)], listed
sys.exit(0 if parts(a) == parts(b) else 1)
PY
}

# The native screen, as the reference.
session "$(q "$NATIVE")"
wait_for "Quit Program" 10 || { fail "the native screen did not come up"; exit 1; }
screen > "$work/native.txt"
T send-keys -t s x
wait_file "$work/status" 10 || fail "the native ehiselect did not end"

# The Windows screen: the same cells, as the console holds them (Wine's
# drawing on the terminal repeats a wide character in both its cells); then
# four entries are clicked (each mark awaited in its cell) and a key ends
# the screen. The names come out as their bytes.
inject="$(q "$WINE") $(q "$INJECT") $(q "$EXE") --"
session "$inject 'wait:Quit Program' dump:../windows.txt file:../go clickrow:bravo.txt,5 cellrow:bravo.txt,2,* clickrow:delta.txt,5 cellrow:delta.txt,2,* clickrow:caf,5 cellrow:caf,2,* clickrow:-wide.txt,5 cellrow:-wide.txt,2,* key:x"
wait_for "Quit Program" 60 || { fail "the Windows screen did not come up"; screen; exit 1; }
wait_file "$work/windows.txt" 20 || fail "no cells of the Windows screen"
if ! same_screens "$work/native.txt" "$work/windows.txt"; then
  fail "the screens differ:"
  diff "$work/native.txt" "$work/windows.txt" || true
fi
screen | grep -qF "café.txt" || fail "the terminal does not show café.txt: $(screen | sed -n 3,9p)"
: > "$work/go"
wait_file "$work/status" 60 || fail "the Windows ehiselect did not end"
[ "$(cat "$work/status")" = 0 ] || fail "status $(cat "$work/status") (90: input mode not restored, 3: a step failed)"
[ "$(tr -d '\r' < "$work/out" | sort)" = "$(printf 'bravo.txt\ncafé.txt\ndelta.txt\n%s\n' "$wide" | sort)" ] ||
  fail "printed: $(od -c "$work/out")"

# Characters typed into the mask field reach it as the names' UTF-8: the
# field shows them as characters (a wide one in two cells) and lists what
# they match.
# Each edit starts once the field is cleared: a key before would end the
# screen.
session "$inject 'wait:Quit Program' click:50,6 gone:*.* 'type:café*' key:Enter gone:bravo.txt dump:../typed1.txt click:50,6 gone:café* 'type:日*' key:Enter gone:café.txt dump:../typed2.txt clickrow:-wide.txt,5 cellrow:-wide.txt,2,* key:x"
wait_file "$work/status" 60 || fail "typed: ehiselect did not end"
[ "$(cat "$work/status")" = 0 ] || fail "typed: status $(cat "$work/status")"
for check in "typed1.txt:│ café*  :│ café.txt  " "typed2.txt:│ 日*  :│ $wide  "; do
  file=${check%%:*} rest=${check#*:}
  field=${rest%%:*} listed=${rest#*:}
  { sed -n 6p "$work/$file" | grep -qF "$field" && sed -n 3p "$work/$file" | grep -qF "$listed"; } ||
    fail "typed: $file shows: $(sed -n 3,6p "$work/$file" 2>/dev/null)"
done
[ "$(tr -d '\r' < "$work/out")" = "$wide" ] || fail "typed: printed: $(od -c "$work/out")"

# Quit Program: status 1, nothing printed, the mode put back.
session "$inject 'wait:Quit Program' click:50,22"
wait_file "$work/status" 60 || fail "quit: ehiselect did not end"
[ "$(cat "$work/status")" = 1 ] || fail "quit: status $(cat "$work/status")"
[ -s "$work/out" ] && fail "quit printed names: $(cat "$work/out")"

[ $fails -eq 0 ] && echo "ok: the Windows screen equals the native one; clicks, keys, typed characters and Quit work"
exit $fails
