#!/bin/sh
# The installed interface as a program of its own meets it: the build
# installed into a temporary prefix (or a tree installed already, such as
# an unpacked package), the consumer example configured and built against
# it, alone (and natively, once more from the pkg-config file), then run
# without a terminal on a folder of known files.
# Usage: test-consumer.sh BUILD|PREFIX SOURCE [TOOLCHAIN EMULATOR] (the
# last two for a cross build, whose program runs under the emulator).
set -eu
from=$1
source=$2
toolchain=${3:-}
emulator=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

step() {  # runs a step quietly; shows its output only when it fails
  name=$1
  shift
  "$@" > "$work/log" 2>&1 || { cat "$work/log"; echo "FAIL: $name"; exit 1; }
}

if [ -f "$from/CMakeCache.txt" ]; then
  stage=$work/stage
  step "install into a temporary prefix" cmake --install "$from" --prefix "$stage"
else
  stage=$from
fi
if [ -n "$toolchain" ]; then
  # The cross toolchain looks for packages in its own root only: the
  # package's folder is named directly.
  step "configure" cmake -S "$source/examples/consumer" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -Dehi_DIR="$stage/lib/cmake/ehi"
else
  step "configure" cmake -S "$source/examples/consumer" -B "$work/build" \
    -DCMAKE_PREFIX_PATH="$stage"
fi
step "build" cmake --build "$work/build"
program=$(ls "$work"/build/consumer "$work"/build/consumer.exe 2>/dev/null | head -n 1)

mkdir -p "$work/tree/sub"
for f in b.txt a.dat "with space.txt" .hidden sub/inner.txt; do echo x > "$work/tree/$f"; done
printf '%s\n' "3 files in tree/:" "  a.dat" "  b.txt" "  with space.txt" \
  "No terminal of 80 x 25: nothing chosen." > "$work/expected"

# Runs the program in its own session, so that no controlling terminal is
# there even when the tests run in one.
run() {
  if command -v setsid >/dev/null; then set -- setsid -w "$@"; fi
  (cd "$work" && "$@" tree < /dev/null > "$work/out" 2> "$work/err") ||
    { cat "$work/out" "$work/err"; echo "FAIL: $* ended with $?"; exit 1; }
  tr -d '\r' < "$work/out" | cmp -s - "$work/expected" ||
    { echo "expected:"; cat "$work/expected"; echo "got:"; cat "$work/out"; echo "FAIL: $*"; exit 1; }
}
if [ -n "$emulator" ]; then run "$emulator" "$program"; else run "$program"; fi
echo "consumer built with find_package: as expected"

if [ -z "$toolchain" ] && command -v pkg-config >/dev/null; then
  flags=$(PKG_CONFIG_PATH="$stage/lib/pkgconfig" pkg-config --cflags --libs ehi)
  step "build with pkg-config" c++ -std=c++20 -o "$work/consumer-pc" \
    "$source/examples/consumer/consumer.cpp" $flags
  run "$work/consumer-pc"
  echo "consumer built with pkg-config: as expected"
fi
