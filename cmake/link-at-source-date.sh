#!/bin/sh
# Linker launcher of the shipped programs: GNU ld stamps a PE image with
# SOURCE_DATE_EPOCH where that is set (and sums the image after it), so the
# stamp comes from the file the build wrote, not from the clock.
#   link-at-source-date.sh <epoch file> <link command...>
SOURCE_DATE_EPOCH=$(cat "$1") || exit 1
export SOURCE_DATE_EPOCH
shift
exec "$@"
