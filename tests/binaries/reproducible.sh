#!/usr/bin/env bash
# Two release builds of one source tree (programs and zip, no tests) in
# different folders, time zones, seconds and umasks, one dating itself from
# git, the other from SOURCE_DATE_EPOCH set to the commit time, must give the
# same programs, zip and checksum, with neither build's path inside:
#   reproducible.sh <source tree>
set -u -o pipefail
STRINGS=${STRINGS:-i686-w64-mingw32-strings}
source=$(cd "$1" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# build <folder> <TZ> <umask> [VAR=value...]
build() {
  local dir=$1 tz=$2 mask=$3
  shift 3
  mkdir -p "$(dirname "$dir")"
  if ! (umask "$mask" &&
        env -u SOURCE_DATE_EPOCH -u UNRAVEL_SIGN_PFX -u UNRAVEL_SIGN_PASSWORD TZ="$tz" "$@" \
          cmake -S "$source" -B "$dir" -G Ninja --toolchain "$source/cmake/i686-w64-mingw32.cmake" \
                -DCMAKE_BUILD_TYPE=MinSizeRel -DUNRAVEL_TESTS=OFF &&
        env -u SOURCE_DATE_EPOCH -u UNRAVEL_SIGN_PFX -u UNRAVEL_SIGN_PASSWORD TZ="$tz" "$@" \
          cmake --build "$dir" --target package -j 1) >"$dir.log" 2>&1; then
    echo "FAIL: the build in $dir failed:"
    cat "$dir.log"
    exit 1
  fi
}

commit_time=()
if stamp=$(git -C "$source" log -1 --format=%ct 2>/dev/null) &&
   [[ $(git -C "$source" rev-parse --show-toplevel 2>/dev/null) -ef $source ]]; then
  commit_time=("SOURCE_DATE_EPOCH=$stamp")
fi
a=$work/a
b=$work/another/and-longer/folder/b
build "$a" UTC0 022
sleep 2  # a zip's times count in steps of two seconds
build "$b" XST-13:45 077 "${commit_time[@]}"

failures=0
for f in uninstaller/unravel.exe dxsetup/dxprep.exe Unravel-1.0.0.zip Unravel-1.0.0.zip.sha256; do
  if ! cmp "$a/$f" "$b/$f"; then
    echo "FAIL: $f differs between the two builds"
    failures=$((failures + 1))
  fi
done
for f in "$a/uninstaller/unravel.exe" "$a/dxsetup/dxprep.exe"; do
  if { "$STRINGS" -a "$f"; "$STRINGS" -a -e l "$f"; } | grep -qF -e "$work" -e "$source"; then
    echo "FAIL: $f holds a build path"
    failures=$((failures + 1))
  fi
done
grep -q "Unsigned: no certificate named" "$a.log" || {
  echo "FAIL: an unsigned build does not say so"
  failures=$((failures + 1))
}
(cd "$a" && sha256sum -c --quiet Unravel-1.0.0.zip.sha256) || failures=$((failures + 1))

if (( failures )); then
  exit 1
fi
echo "two builds, the same bytes: $(cat "$a/Unravel-1.0.0.zip.sha256")"
