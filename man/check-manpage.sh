#!/bin/sh
# Renders a manual page with every groff warning on; any warning fails.
set -u
page=$1
command -v groff >/dev/null || { echo "SKIP: groff is not installed"; exit 77; }
warnings=$(groff -man -ww -Tutf8 -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "$page:"; echo "$warnings"; exit 1; }
# The page must carry the sections readers look for.
for section in NAME SYNOPSIS DESCRIPTION FILES "EXIT STATUS" EXAMPLES "SEE ALSO"; do
  grep -q "^\.SH \"*$section\"*\$" "$page" || { echo "$page: no $section section"; exit 1; }
done
echo "$page: renders without warnings"
