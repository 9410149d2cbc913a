#!/bin/sh
# Unix links inside the test prefix, which a program under Wine cannot make
# (CreateSymbolicLink there reports success and makes nothing):
#   prefix-links.sh <prefix>
# The folder holding them is never removed by a test: a tree removal would
# follow them.
set -eu
links="$1/drive_c/unravel-links"
rm -rf "$links"
mkdir -p "$links"
ln -s ../windows "$links/windows"
ln -s "$1/drive_c/windows/system32" "$links/system"
ln -s .. "$links/drive-c"
ln -s / "$links/unix-root"
ln -s ../unravel-guarded "$links/guarded"
echo "prefix-links: made $links"
