#!/bin/sh
# The Debian package as a user gets it: built, unpacked into a temporary
# root, the installed ehiharvest run on a copy of the sample tree, its table
# compared with the one the build's own program writes; lintian (where
# installed) must report no errors. Usage: test-package.sh BUILD SOURCE EXE
set -eu
build=$1
source=$2
exe=$3
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" > "$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "built $(basename "$deb")"
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/ehiharvest usr/bin/ehiselect usr/share/man/man1/ehiharvest.1.gz \
         usr/share/man/man1/ehiselect.1.gz usr/share/doc/ehiharvest/README.md \
         usr/share/doc/ehiharvest/copyright; do
  [ -e "$work/root/$f" ] || { echo "FAIL: the package lacks /$f"; exit 1; }
done
arch=$(dpkg --print-architecture)
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || { echo "FAIL: architecture"; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q libc6 || { echo "FAIL: no dependency on libc6"; exit 1; }

mkdir "$work/installed" "$work/built"
cp -r "$source/examples/sample-tree/." "$work/installed"
cp -r "$source/examples/sample-tree/." "$work/built"
(cd "$work/installed" && "$work/root/usr/bin/ehiharvest" > ../installed.out) ||
  { echo "FAIL: the installed ehiharvest ended with $?"; exit 1; }
(cd "$work/built" && "$exe" > ../built.out)
cmp "$work/installed.out" "$work/built.out" || { echo "FAIL: the report differs"; exit 1; }
cmp "$work/installed/Orvitan.Tab" "$work/built/Orvitan.Tab" || { echo "FAIL: the table differs"; exit 1; }
grep -q "^Found [1-9][0-9]* distinct sets" "$work/installed.out" || { echo "FAIL: $(cat "$work/installed.out")"; exit 1; }
"$work/root/usr/bin/ehiharvest" --version | grep -q "^ehiharvest " || { echo "FAIL: --version"; exit 1; }

if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || { echo "FAIL: lintian reports errors"; exit 1; }
  echo "lintian: no errors"
else
  echo "lintian is not installed: the package was not linted"
fi
echo "package: all checks passed"
