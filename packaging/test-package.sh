#!/bin/sh
# The Debian packages as a user gets them: built, unpacked into a temporary
# root, the installed ehiharvest run on a copy of the sample tree, its table
# compared with the one the build's own program writes, the completions
# offering every option --help names; the development package's headers
# compile each on its own and a program builds against the unpacked tree;
# lintian (where installed) must report no errors.
# Usage: test-package.sh BUILD SOURCE EXE DOCS (DOCS: 1 when the build
# makes the reference pages)
set -eu
build=$1
source=$2
exe=$3
docs=$4
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" > "$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$work"/out/ehiharvest_*.deb)
dev=$(ls "$work"/out/ehiharvest-dev_*.deb)
echo "built $(basename "$deb") and $(basename "$dev")"
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/ehiharvest usr/bin/ehiselect usr/share/man/man1/ehiharvest.1.gz \
         usr/share/man/man1/ehiselect.1.gz usr/share/doc/ehiharvest/README.md \
         usr/share/doc/ehiharvest/copyright usr/share/bash-completion/completions/ehiharvest \
         usr/share/bash-completion/completions/ehiselect; do
  [ -e "$work/root/$f" ] || { echo "FAIL: the package lacks /$f"; exit 1; }
done
[ ! -e "$work/root/usr/include" ] || { echo "FAIL: headers in the programs' package"; exit 1; }
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

# Each option the help names is offered when a "-" is completed.
for program in ehiharvest ehiselect; do
  offered=$(bash -c '. "$1"; COMP_WORDS=("$2" -); COMP_CWORD=1; "_$2"; printf "%s\n" "${COMPREPLY[@]}"' \
            sh "$work/root/usr/share/bash-completion/completions/$program" "$program")
  for option in $("$work/root/usr/bin/$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    echo "$offered" | grep -qx -- "$option" ||
      { echo "FAIL: completing '$program -' does not offer $option"; exit 1; }
  done
done

# The development package: its own tree, no private or test headers, each
# header compiling alone with the project's warnings, and a program built
# against it with find_package and pkg-config.
dpkg-deb -x "$dev" "$work/dev"
usr=$work/dev/usr
for f in include/ehi/UDir2.h include/ehi/UButtons.h include/ehi/UMAlloc.h lib/libehi_services.a \
         lib/libehi_dirlist.a lib/cmake/ehi/ehiConfig.cmake lib/pkgconfig/ehi.pc \
         share/doc/ehiharvest-dev/copyright; do
  [ -e "$usr/$f" ] || { echo "FAIL: the development package lacks /usr/$f"; exit 1; }
done
if [ "$docs" = 1 ]; then
  [ -e "$usr/share/doc/ehiharvest-dev/html/index.html" ] ||
    { echo "FAIL: the development package lacks the reference pages"; exit 1; }
fi
for f in platform_posix.h platform_win32.h testhooks.h testutil.h widget_testutil.h strict_posix.h; do
  [ ! -e "$usr/include/ehi/$f" ] || { echo "FAIL: /usr/include/ehi/$f is installed"; exit 1; }
done
for header in "$usr"/include/ehi/*.h; do
  name=$(basename "$header")
  printf '#include <ehi/%s>\n' "$name" |
    c++ -std=c++20 -fsyntax-only -Wall -Wextra -Wconversion -Wsign-conversion -Wshadow \
        -Wold-style-cast -Werror -I"$usr/include" -x c++ - 2> "$work/header.log" ||
    { cat "$work/header.log"; echo "FAIL: <ehi/$name> does not compile on its own"; exit 1; }
done
echo "$(ls "$usr"/include/ehi/*.h | wc -l) headers compile on their own"
sh "$source/examples/consumer/test-consumer.sh" "$usr" "$source" ||
  { echo "FAIL: a program built against the unpacked development package"; exit 1; }

if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" "$dev" || { echo "FAIL: lintian reports errors"; exit 1; }
  echo "lintian: no errors"
else
  echo "lintian is not installed: the package was not linted"
fi
echo "packages: all checks passed"
