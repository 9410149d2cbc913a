#!/bin/bash
# Shows unravel at work on a sample installation of the product, then dxprep
# beside a stand-in setup library, in a throwaway Wine prefix under build/demo/.
# With a display: the programs open there and you click through them.
# Without one: a scripted walk presses "&Uninstall", deletes two controls
# ("Yes", then "Yes to All"), closes the list, dismisses what follows, then
# presses "Install" in dxprep; it saves a screenshot of every window in
# build/demo/ and prints a summary of what was done.
# One line a step on the console; the build's and Wine's own output goes to
# build/logs/demo.log (the set-up's to build/logs/setup.log).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
. tools/steps.sh

bash tools/setup.sh
steps_begin demo build/logs/demo.log

bin="$root/build/release"
demo="$root/build/demo"
prefix="$demo/wineprefix"
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }

# How long the slow steps take the first time on a 2-core machine; a prefix
# boots far slower where 32-bit programs are emulated (tools/setup.sh).
first_build="2 to 5 minutes the first time" first_boot="about 25 s the first time"
[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && first_boot="about 40 s the first time"
[ -f "$bin/build.ninja" ] && first_build=""
[ -f "$bin/wineprefix-template/.stamp" ] && first_boot=""

step building "$first_build"
quietly cmake --preset release || step_failed
quietly cmake --build --preset release || step_failed

step "starting a Wine prefix" "$first_boot"
mkdir -p "$demo"
rm -rf "$demo"/*.png "$demo"/*.bmp "$demo/dxprep"
mkdir -p "$demo/dxprep"
quietly "$bin/wine-prefix.sh" fresh "$prefix" || step_failed

# The sample installation: its three directories (HKEY_USERS\.Default, kept
# in userdef.reg), three controls among the prefix's ordinary classes
# (system.reg), temporary files with a subfolder and a read-only file, the
# uninstall script, and the stand-in uninstaller in the Windows directory.
c="$prefix/drive_c"
mkdir -p "$c/Zentrova/Ocx" "$c/Zentrova/Temp/cache"
cat >>"$prefix/userdef.reg" <<'REG'

[Software\\Morvex\\Zentrova\\Directories] 1796000000
"Ocx Storage"="C:\\Zentrova\\Ocx\\"
"Temp Storage"="C:\\Zentrova\\Temp\\"
"Root"="C:\\Zentrova\\"
REG
n=0
for sample in "grid:ctl_ok:Zentrova Grid Control" "chart:ctl_false:Zentrova Chart Control" \
              "calendar:ctl_ok:Zentrova Calendar Control"; do
  IFS=: read -r file fixture name <<<"$sample"
  n=$((n + 1))
  cp "$bin/tests/fixtures/$fixture.ocx" "$c/Zentrova/Ocx/$file.ocx"
  clsid="{D3E0C0DE-0000-4000-8000-00000000000$n}"
  cat >>"$prefix/system.reg" <<REG

[Software\\\\Classes\\\\CLSID\\\\$clsid] 1796000000
@="$name"

[Software\\\\Classes\\\\CLSID\\\\$clsid\\\\Control] 1796000000

[Software\\\\Classes\\\\CLSID\\\\$clsid\\\\InprocServer32] 1796000000
@="C:\\\\Zentrova\\\\Ocx\\\\$file.ocx"
REG
done
for f in session.tmp cache.dat readonly.tmp cache/inner.tmp; do echo sample >"$c/Zentrova/Temp/$f"; done
chmod a-w "$c/Zentrova/Temp/readonly.tmp"
echo "sample uninstall script" >"$c/Zentrova/DeIsLog.1"
cp "$bin/tests/fixtures/uninst.exe" "$c/windows/uninst.exe"

# dxprep beside the stand-in setup library and an (empty) DirectX folder.
mkdir -p "$c/DXSetup/DirectX"
cp "$bin/dxsetup/dxprep.exe" "$bin/tests/fixtures/DSETUP.dll" "$c/DXSetup/"

listing() { (cd "$1" && find . -mindepth 1 | sed 's|^\./||' | sort); }
listing "$c/Zentrova/Ocx" >"$demo/ocx-before.txt"
listing "$c/Zentrova/Temp" >"$demo/temp-before.txt"
export UNRAVEL_FIXTURE_LOG="$(winpath "$demo/controls-log.txt")"
rm -f "$demo/controls-log.txt"

# Names in the first listing that are gone from the second, or kept.
gone() { comm -23 "$1" <(listing "$2") | tr '\n' ' '; }
kept() { comm -12 "$1" <(listing "$2") | tr '\n' ' '; }

summary() {
  echo
  echo "== What unravel did"
  echo "controls unregistered (by their own entry point):"
  sed -n 's/^unregister /  /p' "$demo/controls-log.txt" 2>/dev/null || true
  echo "control files deleted: $(gone "$demo/ocx-before.txt" "$c/Zentrova/Ocx")"
  echo "control files kept:    $(kept "$demo/ocx-before.txt" "$c/Zentrova/Ocx")"
  echo "temporary files deleted: $(gone "$demo/temp-before.txt" "$c/Zentrova/Temp")"
  echo "temporary files kept:    $(kept "$demo/temp-before.txt" "$c/Zentrova/Temp")"
  if [ -f "$c/windows/uninst-record.txt" ]; then
    echo "the uninstaller was started with: $(cat "$c/windows/uninst-record.txt")"
  else
    echo "the uninstaller was not started"
  fi
  echo "== What dxprep handed to the setup library"
  cat "$c/DXSetup/dsetup-record.txt" 2>/dev/null || echo "(nothing: not installed)"
}

export TEST_WINEPREFIX="$prefix"
trap 'quietly "$bin/wine-prefix.sh" cleanup "$prefix"' EXIT

if [ -n "${DISPLAY:-}" ]; then
  step "starting unravel.exe on your display"
  quietly "$bin/wine-run.sh" "$bin/uninstaller/unravel.exe" || true
  step "starting dxprep.exe on your display"
  quietly "$bin/wine-run.sh" 'C:\DXSetup\dxprep.exe' || true
  sleep 5
  summary
else
  step "no display: walking through unravel.exe, then dxprep.exe, under Xvfb"
  walk="$bin/tests/e2e/demo_walk.exe"
  quietly xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash -c '
    "$1" "$2" "$3" "$4" && sleep 5 && "$1" "$2" "C:\DXSetup\dxprep.exe" "$5"' walk \
    "$bin/wine-run.sh" "$walk" "$(winpath "$bin/uninstaller/unravel.exe")" "$(winpath "$demo")" \
    "$(winpath "$demo/dxprep")" || step_failed
  for bmp in "$demo"/*.bmp "$demo"/dxprep/*.bmp; do
    [ -e "$bmp" ] || continue
    quietly convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
  sleep 5  # the uninstaller runs on after unravel has ended
  summary
  shots=("$demo"/*.png "$demo"/dxprep/*.png)
  echo
  echo "Screenshots of every window (${#shots[@]}): build/demo/ and build/demo/dxprep/"
fi
