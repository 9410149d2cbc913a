#!/bin/bash
# Times unravel's walk over the class registrations against a bare
# enumeration of the same "CLSID" key, in a throwaway Wine prefix filled with
# 50,000 classes (200 of them the product's controls). Prints the figures.
#   tools/bench-walk.sh [classes] [controls]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target walk_benchmark
prefix="$PWD/build/release/bench-prefix"
build/release/wine-prefix.sh setup "$prefix"
trap 'build/release/wine-prefix.sh cleanup "$prefix" >/dev/null; rm -rf "$prefix"' EXIT
# The home the prefix's profile links lead to (see tests/wine-prefix.sh.in).
HOME="$PWD/build/release/wine-home" WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  wine build/release/tests/bench/walk_benchmark.exe "$@"
