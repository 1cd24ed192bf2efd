#!/bin/sh
# Makes docs/ehiselect.png from a real run of ehiselect in tmux (80 x 25) on
# the synthetic sample tree, with two entries marked.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/dirlist/ehiselect}
work=$(mktemp -d)
sock="$work/sock"
trap 'tmux -S "$sock" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r "$root/examples/sample-tree/lab-a/2024/spring" "$work/spring"
tmux -S "$sock" -f /dev/null new-session -d -s s -x 80 -y 25 -c "$work/spring" "$exe; sleep 60"
sleep 1
for r in 4 6; do
  tmux -S "$sock" send-keys -t s -l "$(printf '\033[<0;5;%dM\033[<0;5;%dm' $r $r)"
done
sleep 0.5
tmux -S "$sock" capture-pane -p -e -N -t s > "$work/screen.txt"
/usr/bin/python3 "$root/tools/render-ansi.py" "$work/screen.txt" "$root/docs/ehiselect.png"
echo "wrote docs/ehiselect.png"
