#!/bin/bash
# Shows unravel at work on a sample installation of the product, in a
# throwaway Wine prefix under build/demo/.
# With a display: the program opens there and you click through it.
# Without one: a scripted walk presses "&Uninstall", dismisses what
# follows and saves a screenshot of every window in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

bash tools/setup.sh
cmake --preset release
cmake --build --preset release

bin="$root/build/release"
demo="$root/build/demo"
prefix="$demo/wineprefix"
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }

mkdir -p "$demo"
rm -f "$demo"/*.png "$demo"/*.bmp
"$bin/wine-prefix.sh" fresh "$prefix"

# The sample installation: its three directories, recorded where the
# product records them (HKEY_USERS\.Default, kept in userdef.reg).
mkdir -p "$prefix/drive_c/Zentrova/Ocx" "$prefix/drive_c/Zentrova/Temp"
cat >>"$prefix/userdef.reg" <<'REG'

[Software\\Morvex\\Zentrova\\Directories] 1796000000
"Ocx Storage"="C:\\Zentrova\\Ocx\\"
"Temp Storage"="C:\\Zentrova\\Temp\\"
"Root"="C:\\Zentrova\\"
REG

export TEST_WINEPREFIX="$prefix"
trap '"$bin/wine-prefix.sh" cleanup "$prefix" >/dev/null' EXIT

if [ -n "${DISPLAY:-}" ]; then
  echo "demo: starting unravel.exe on your display"
  "$bin/wine-run.sh" "$bin/uninstaller/unravel.exe" || true
else
  echo "demo: no display; walking through unravel.exe under Xvfb"
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    "$bin/wine-run.sh" "$bin/tests/e2e/demo_walk.exe" \
    "$(winpath "$bin/uninstaller/unravel.exe")" "$(winpath "$demo")"
  for bmp in "$demo"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
  echo "demo: screenshots:"
  ls -1 "$demo"/*.png
fi
