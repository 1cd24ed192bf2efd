#!/bin/sh
# Checks that the Debian packages the build and the tests need are installed.
# As root, installs what is missing; otherwise prints the one command to run.
set -e
missing=""
for pkg in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $pkg" ;;
  esac
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" = 0 ]; then
  echo "Installing:$missing"
  DEBIAN_FRONTEND=noninteractive apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing
else
  echo "Missing packages. Run:"
  echo "  sudo apt-get install -y$missing"
  exit 1
fi
