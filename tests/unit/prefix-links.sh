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
# For the link rule and the cleanup's names: a folder others lead to, a link
# entry inside a folder the cleanup empties, and a folder holding a link that
# a test moves into the place of a folder it has open (the link absolute, so
# that it still leads there).
ln -s ../unravel-other "$links/other"
mkdir "$links/names" "$links/swap"
ln -s ../../unravel-link-target.dat "$links/names/link.dat"
ln -s "$1/drive_c/unravel-swap-victim" "$links/swap/Temp"
# A product's Temp folder swapped for a link to someone else's folder (the
# end-to-end pass with the misbehaving controls makes C:\ZDOther).
ln -s ../ZDOther "$links/zd-temp"
echo "prefix-links: made $links"
