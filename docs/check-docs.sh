#!/bin/sh
# Makes the reference pages once more, into a temporary folder: Doxygen
# must give no warning at all, and each module named must have its page,
# reached from the main page. Usage: check-docs.sh DOXYGEN DOXYFILE MODULE...
set -eu
doxygen=$1
doxyfile=$2
shift 2
[ -x "$doxygen" ] || { echo "SKIP: doxygen is not installed (Debian package doxygen)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The build's configuration, written elsewhere.
{ cat "$doxyfile"; echo "OUTPUT_DIRECTORY = $work"; echo "WARN_AS_ERROR = FAIL_ON_WARNINGS"; } |
  "$doxygen" - > "$work/log" 2> "$work/warnings" ||
  { cat "$work/warnings"; echo "FAIL: doxygen ended with an error"; exit 1; }
if [ -s "$work/warnings" ]; then cat "$work/warnings"; echo "FAIL: doxygen warned"; exit 1; fi
for module; do
  [ -f "$work/html/$module.html" ] || { echo "FAIL: no page for the module $module"; exit 1; }
  grep -q "href=\"$module.html\"" "$work/html/index.html" ||
    { echo "FAIL: the main page does not lead to the page of $module"; exit 1; }
done
echo "docs: no warnings; a page for each of $*"
