#!/bin/bash
# Builds everything and runs all tests under Wine:
#   tools/test.sh [ctest arguments, e.g. -R intro_e2e]
# The set-up's and the build's own output goes to build/logs/ (setup.log,
# test.log); ctest's lines and the skipped cases come to the console.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh

bash tools/setup.sh
steps_begin test build/logs/test.log
first_build="2 to 5 minutes the first time"   # on 2 cores
[ -f build/release/build.ninja ] && first_build=""
step building "$first_build"
quietly cmake --preset release || step_failed
quietly cmake --build --preset release || step_failed

ctest_args=(--test-dir build/release --output-on-failure)
# Under CPU emulation (decided at configure time, tests/CMakeLists.txt) a
# Wine process now and then dies of a crash of the emulator itself: there a
# test program that fails is run once more. Natively a failure is real and
# is reported at once.
if grep -qx 'WINE_EMULATED:INTERNAL=1' build/release/CMakeCache.txt; then
  ctest_args+=(--repeat until-pass:2)
fi
ctest_args+=("$@")

# How long the whole suite usually takes on a 2-core machine (both
# prefixes; the first run also boots each prefix's template once).
if [ "$#" -eq 0 ]; then
  if grep -qx 'WINE_EMULATED:INTERNAL=1' build/release/CMakeCache.txt; then
    echo "test: running the suite (usually 3 to 6 minutes here, plus about 40 s per prefix the first time)..."
  else
    echo "test: running the suite (usually about a minute, plus about 25 s per prefix the first time)..."
  fi
fi

# Cases a test program skipped (wine-run.sh collects them), listed at the end.
skipped=build/release/skipped-cases.txt
rm -f "$skipped"
list_skipped() {
  [ -s "$skipped" ] || return 0
  echo "Skipped cases:"
  sort -u "$skipped" | sed 's/^/  /'
}
trap list_skipped EXIT

# The tests open real windows. Without a display (or on CI) they get virtual
# ones, 24 bits deep so that colours read back exactly: one per prefix, so
# that the 32-bit and the 64-bit prefix run side by side without their
# windows overlapping. On a real display the prefixes take turns.
screen="-screen 0 1280x1024x24 -nolisten tcp"
if [ -z "${DISPLAY:-}" ] || [ -n "${CI:-}" ]; then
  xvfb-run -a -s "$screen" bash -c '
    export WINE_TEST_DISPLAY_win64="$DISPLAY" WINE_TEST_XAUTHORITY_win64="$XAUTHORITY"
    exec xvfb-run -a -s "$1" ctest -j2 "${@:2}"' test.sh "$screen" "${ctest_args[@]}"
else
  ctest "${ctest_args[@]}"
fi
