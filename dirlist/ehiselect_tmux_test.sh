#!/bin/sh
# Runs ehiselect in a real terminal (a detached tmux session of 80 x 25),
# reads the screen, clicks with xterm SGR mouse reports, and checks what it
# prints, its exit status and the terminal it leaves behind.
set -eu
# The frames are UTF-8 glyphs: make tmux and the helpers read them as such.
export LC_ALL=C.UTF-8
EXE=$1
# Skipped with the reason (status 77) where the tools it needs are missing.
command -v tmux >/dev/null || { echo "SKIP: tmux is not installed"; exit 77; }
[ -d /proc/self ] || { echo "SKIP: no /proc to read process states from"; exit 77; }

work=$(mktemp -d)
# Each session gets a server of its own on a fresh socket: a server being
# killed can never meet the next session's first command.
servers=0
sock="$work/tmux.0.sock"
fresh_server() {
  T kill-server 2>/dev/null || true
  servers=$((servers + 1))
  sock="$work/tmux.$servers.sock"
}
cleanup() {
  for s in "$work"/tmux.*.sock; do tmux -S "$s" kill-server 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/files"
# The paths as words of the commands the sessions run: quoted, so that a
# checkout in a folder with spaces works.
q() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
qexe=$(q "$EXE")
qwork=$(q "$work")
for f in alpha.txt bravo.txt charlie.txt delta.txt echo.txt; do : > "$work/files/$f"; done
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

T() { tmux -u -S "$sock" "$@"; }
screen() { T capture-pane -p -t s; }
row() { screen | sed -n "${1}p"; }
wait_for() {  # text, seconds
  i=0
  while ! screen | grep -qF -- "$1"; do
    i=$((i + 1)); [ $i -gt $(( ${2:-10} * 10 )) ] && return 1; sleep 0.1
  done
}
click() {  # 1-based column and row; the caller waits for what it does
  T send-keys -t s -l "$(printf '\033[<0;%d;%dM' "$1" "$2")"
  T send-keys -t s -l "$(printf '\033[<0;%d;%dm' "$1" "$2")"
}
until_true() {  # a command, retried for up to 10 seconds
  i=0
  while ! eval "$1" >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -gt 100 ] && return 1; sleep 0.1
  done
}
row_of() { screen | grep -n -- "$1" | head -n 1 | cut -d: -f1; }
# Characters (not bytes: the frames are UTF-8) from column $2 to $3 of row $1.
cells() {
  row "$1" | python3 -c 'import sys; s = sys.stdin.read().rstrip("\n"); a, b = int(sys.argv[1]), int(sys.argv[2]); print(s[a - 1:b])' "$2" "$3"
}
marks() { screen | python3 -c 'import sys; print("".join(l[1:2] for l in sys.stdin.read().split("\n")[2:24]))'; }
start() {  # the folder it runs in (files unless given)
  fresh_server
  rm -f "$work/out" "$work/status" "$work/stty_before" "$work/stty_after"
  T -f /dev/null new-session -d -s s -x 80 -y 25 -c "$work/${1:-files}" \
    "cd $qwork/${1:-files}; stty -g > ../stty_before; $qexe > ../out; echo \$? > ../status; stty -g > ../stty_after; sleep 600"
  wait_for "Quit Program" 10 || { fail "the screen did not come up"; screen; exit 1; }
}
wait_end() {
  until_true '[ -s "$work/stty_after" ]' || { fail "ehiselect did not end"; return 1; }
}

# --- Layout ---------------------------------------------------------------
start
r1=$(row 1)
case "$r1" in
  "******************************* Mark files, then OK *******************************"*) ;;
  *"* Mark files, then OK *"*) ;;
  *) fail "heading row: $r1" ;;
esac
[ "$(cells 2 1 34)" = "┌────────────────────────────────┐" ] || fail "list top border: $(row 2)"
[ "$(cells 4 36 40)" = "Mask:" ] || fail "mask label: $(row 4)"
[ "$(cells 6 36 42)" = "│ *.*  " ] || fail "mask field: $(row 6)"
[ "$(cells 10 36 74)" = "│ Select all │ │ Clear all │ │ Switch │" ] || fail "selection buttons: $(row 10)"
[ "$(cells 14 36 75)" = "│ Name │ │ Extension │ │ Date │ │ Size │" ] || fail "sort buttons: $(row 14)"
[ "$(cells 18 46 63)" = "│       OK       │" ] || fail "OK button: $(row 18)"
[ "$(cells 22 47 62)" = "│ Quit Program │" ] || fail "quit button: $(row 22)"
[ "$(T display -p -t s '#{mouse_sgr_flag}')" = 1 ] || fail "SGR mouse reporting is not on"
T capture-pane -p -e -t s | grep -q 'Mask:' || fail "no coloured capture"

# --- Marks, Switch, Clear all, then a key ---------------------------------
rb=$(row_of "bravo.txt"); rd=$(row_of "delta.txt")
click 5 "$rb"
until_true '[ "$(cells "$rb" 2 2)" = "*" ]' || fail "bravo not marked: $(row "$rb")"
click 66 10   # Switch
until_true '[ "$(cells "$rd" 2 2)" = "*" ]' || fail "Switch did not mark delta"
[ "$(cells "$rb" 2 2)" = " " ] || fail "Switch left bravo marked"
click 52 10   # Clear all
until_true '! marks | grep -q "\*"' || fail "Clear all left marks"
click 5 "$rb"
until_true '[ "$(cells "$rb" 2 2)" = "*" ]' || fail "bravo not marked again"
click 5 "$rd"
until_true '[ "$(cells "$rd" 2 2)" = "*" ]' || fail "delta not marked again"
T send-keys -t s x
wait_end
[ "$(cat "$work/status")" = 0 ] || fail "exit status $(cat "$work/status") after a key"
[ "$(sort "$work/out" | tr '\n' ' ')" = "bravo.txt delta.txt " ] || fail "printed: $(cat "$work/out")"
cmp -s "$work/stty_before" "$work/stty_after" || fail "terminal settings changed"
[ "$(T display -p -t s '#{mouse_any_flag}#{mouse_sgr_flag}')" = "00" ] || fail "mouse reporting left on"

# --- Quit Program ------------------------------------------------------------
start
click 50 22   # Quit Program
wait_end
[ "$(cat "$work/status")" = 1 ] || fail "quit: exit status $(cat "$work/status")"
[ "$(cells 1 1 11)" = "User abort!" ] || fail "quit: first row $(row 1)"
[ -s "$work/out" ] && fail "quit printed names"
cmp -s "$work/stty_before" "$work/stty_after" || fail "quit: terminal settings changed"
[ "$(T display -p -t s '#{mouse_any_flag}#{mouse_sgr_flag}')" = "00" ] || fail "quit: mouse reporting left on"

# --- Line feeds typed into the mask field move nothing: the "Quit Program"
# the user sees is the one that quits ------------------------------------------
start
click 40 6
# The edit starts once the field is cleared: a key before would end the
# screen instead (a slow build meets that).
until_true '! row 6 | grep -qF "*.*"' || fail "Ctrl-J in the field: the field was not cleared"
T send-keys -t s $(printf 'C-j %.0s' $(seq 22))
T send-keys -t s Enter
sleep 0.5
rq=$(row_of "Quit Program")
[ "$rq" = 22 ] || fail "Ctrl-J in the field: Quit Program now on row $rq"
click 50 "${rq:-22}"
wait_end
[ "$(cat "$work/status")" = 1 ] || fail "Ctrl-J in the field: the visible Quit gave status $(cat "$work/status")"

# --- Names in UTF-8: their characters, a wide one cut at the list's edge,
# the frames where they belong, the names printed byte for byte -------------
mkdir "$work/utf8"
wide='abcdefghijklmnopqrstuvwxyz0123漢字.txt'
: > "$work/utf8/café.txt"
: > "$work/utf8/$wide"
start utf8
rc=$(row_of "café.txt"); rw=$(row_of "abcdefghij")
[ -n "$rc" ] || fail "UTF-8: café.txt not shown as its characters"
[ "$(cells "${rw:-4}" 3 33)" = "abcdefghijklmnopqrstuvwxyz0123…" ] ||
  fail "UTF-8: wide name at the edge: $(row "${rw:-4}")"
frames=$(screen | python3 -c 'import sys; print("".join(l[0] + l[33:34] for l in sys.stdin.read().split("\n")[2:24]))')
[ "$frames" = "$(printf '│%.0s' $(seq 44))" ] || fail "UTF-8: a frame moved: $(screen)"
[ "$(cells 6 36 42)" = "│ *.*  " ] || fail "UTF-8: mask field moved: $(row 6)"
click 5 "${rc:-3}"; click 5 "${rw:-4}"
until_true '[ "$(cells "${rw:-4}" 2 2)" = "*" ]' || fail "UTF-8: wide name not marked"
T send-keys -t s x
wait_end
printf 'café.txt\n%s\n' "$wide" | sort > "$work/want"
sort "$work/out" | cmp -s - "$work/want" || fail "UTF-8: printed $(od -c "$work/out" | head -3)"

# --- The alternate screen: the shell's lines come back at the end, after a
# key and after Ctrl-C ----------------------------------------------------------
fresh_server
T -f /dev/null new-session -d -s s -x 80 -y 25 -c "$work/files" "env PS1='ready$ ' sh -i"
wait_for 'ready$' 10 || fail "alternate screen: no shell prompt"
T send-keys -t s "echo shell-line-before" Enter
wait_for "shell-line-before" 5 || fail "alternate screen: the shell did not echo"
for ending in x C-c; do
  T send-keys -t s "$qexe >/dev/null" Enter
  wait_for "Quit Program" 10 || fail "alternate screen: no screen before $ending"
  T send-keys -t s "$ending"
  until_true 'screen | grep -qF "shell-line-before" && ! screen | grep -qF "Quit Program"' ||
    fail "alternate screen: the shell's lines not back after $ending"
  until_true '[ "$(T display -p -t s "#{mouse_any_flag}#{alternate_on}")" = "00" ]' ||
    fail "alternate screen: mouse or alternate screen left on after $ending"
done

# --- Ctrl-Z stops it like any full-screen program; fg repaints it whole ------
# An interactive shell, so that the program runs as a job that can stop.
fresh_server
rm -f "$work/out" "$work/status" "$work/stty_before" "$work/stty_after"
T -f /dev/null new-session -d -s s -x 80 -y 25 -c "$work/files" "env PS1='ready$ ' sh -i"
wait_for 'ready$' 10 || fail "Ctrl-Z: no shell prompt"
# The program alone on its command line: a stopped job would let the shell
# go on with the rest of a list at once.
T send-keys -t s "cd $qwork/files; stty -g > ../stty_before" Enter
T send-keys -t s "$qexe > ../out" Enter
wait_for "Quit Program" 10 || fail "Ctrl-Z: the screen did not come up"
state() {  # the state letter of the running ehiselect, from /proc
  for d in /proc/[0-9]*; do
    [ "$(cat "$d/comm" 2>/dev/null)" = ehiselect ] || continue
    sed 's/^.*) //' "$d/stat" | cut -c1; return
  done
}
T send-keys -t s C-z
until_true '[ "$(state)" = T ]' || fail "Ctrl-Z: not stopped (state $(state))"
until_true '[ "$(T display -p -t s "#{mouse_any_flag}#{mouse_sgr_flag}")" = "00" ]' ||
  fail "Ctrl-Z: mouse reporting left on"
T send-keys -t s "stty -g > ../stty_stopped; clear" Enter
until_true '[ -s "$work/stty_stopped" ] && ! screen | grep -qF "Quit Program"' ||
  fail "Ctrl-Z: the shell did not take the terminal"
cmp -s "$work/stty_before" "$work/stty_stopped" || fail "Ctrl-Z: terminal settings not restored"
T send-keys -t s "fg" Enter
wait_for "Quit Program" 10 || fail "fg: the screen was not repainted"
wait_for "Mark files, then OK" 2 || fail "fg: the heading was not repainted"
[ "$(T display -p -t s '#{mouse_sgr_flag}')" = 1 ] || fail "fg: mouse reporting not back on"
rb=$(row_of "bravo.txt")
click 5 "$rb"
until_true '[ "$(cells "$rb" 2 2)" = "*" ]' || fail "fg: bravo not marked"
T send-keys -t s x
until_true '[ "$(state)" = "" ]' || fail "fg: ehiselect did not end"
T send-keys -t s "echo \$? > ../status" Enter
until_true '[ -s "$work/status" ]' || fail "fg: no exit status"
[ "$(cat "$work/status")" = 0 ] || fail "fg: exit status $(cat "$work/status")"
[ "$(cat "$work/out")" = "bravo.txt" ] || fail "fg: printed $(cat "$work/out")"

# --- Ctrl-Z while the end gives the terminal back (a button still held):
# stopped once that is done; continued, it does not take the terminal again,
# so the names it prints stay on the shell's screen ----------------------------
T send-keys -t s "clear; $qexe" Enter
wait_for "Quit Program" 10 || fail "Ctrl-Z at the end: the screen did not come up"
rb=$(row_of "bravo.txt")
T send-keys -t s -l "$(printf '\033[<0;5;%dM' "${rb:-3}")"  # marked, its button held
T send-keys -t s x
sleep 0.1  # the end now waits for the release
T send-keys -t s C-z
until_true '[ "$(state)" = T ]' || fail "Ctrl-Z at the end: not stopped (state $(state))"
T send-keys -t s "fg" Enter
until_true '[ "$(state)" = "" ]' || fail "Ctrl-Z at the end: ehiselect did not end"
until_true 'screen | grep -qx "bravo.txt"' ||
  fail "Ctrl-Z at the end: the name printed is not on the shell's screen: $(screen)"
[ "$(T display -p -t s "#{mouse_any_flag}#{alternate_on}")" = "00" ] ||
  fail "Ctrl-Z at the end: mouse or alternate screen left on"

[ $fails = 0 ] && echo "ehiselect in tmux: all checks passed"
exit $fails
