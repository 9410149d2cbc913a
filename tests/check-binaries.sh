#!/usr/bin/env bash
# Ship check of the built programs, without running them:
#   check-binaries.sh [--no-budget] <unravel.exe> <dxprep.exe>
# Each must import system DLLs only (dxprep also DSETUP.dll), have ASLR and
# DEP on and not be marked as free of exception handlers (NO_SEH), carry
# exactly one manifest (elevated, no common-controls 6) and a complete
# version resource, and stay within its size budget. Sizes are
# always printed; --no-budget skips the budget (debug builds).
set -u -o pipefail

OBJDUMP=${OBJDUMP:-i686-w64-mingw32-objdump}
WINDRES=${WINDRES:-i686-w64-mingw32-windres}

budget=1
if [[ ${1:-} == --no-budget ]]; then
  budget=0
  shift
fi
if [[ $# -ne 2 ]]; then
  echo "usage: $0 [--no-budget] <unravel.exe> <dxprep.exe>" >&2
  exit 2
fi

SYSTEM_DLLS="KERNEL32 USER32 GDI32 ADVAPI32 OLE32 SHELL32 MSVCRT"
IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE=0x0040
IMAGE_DLLCHARACTERISTICS_NX_COMPAT=0x0100
IMAGE_DLLCHARACTERISTICS_NO_SEH=0x0400
RT_VERSION=16
RT_MANIFEST=24
SUPPORTED_OS_IDS="e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a
  4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78
  8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"
VERSION_KEYS="CompanyName FileDescription FileVersion InternalName OriginalFilename
  ProductName ProductVersion"

failures=0
fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

# Prints "<type> <leaves> <names...>" per resource type from the resource
# directory dump of objdump -p: type entries are indented 3 spaces, name
# entries 5, language entries 7; every leaf is one resource.
resource_types() {
  awk '
    function flush() { if (type != "") print type, leaves, names }
    /^[0-9a-f]+   Entry: / { flush(); type = $4; sub(/,$/, "", type); leaves = 0; names = ""; next }
    /^[0-9a-f]+     Entry: / { n = $4; sub(/,$/, "", n); names = names " " n; next }
    /Leaf: / { leaves++ }
    END { flush() }
  ' <<<"$1"
}

# check_program <exe> <size budget in bytes> <extra allowed DLLs>
check_program() {
  local exe=$1 limit=$2 extra=$3
  local name
  name=$(basename "$exe")
  if [[ ! -f $exe ]]; then
    fail "$name" "not found at $exe"
    return
  fi

  local headers
  if ! headers=$("$OBJDUMP" -p "$exe"); then
    fail "$name" "objdump -p cannot read it"
    return
  fi

  # Imports: system DLLs only.
  local dll base
  while read -r dll; do
    base=${dll^^}
    base=${base%.DLL}
    if [[ " $SYSTEM_DLLS $extra " != *" $base "* ]]; then
      fail "$name" "imports $dll, which is not a system DLL"
    fi
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")

  # ASLR and DEP.
  local chars
  chars=$(awk '$1 == "DllCharacteristics" { print $2; exit }' <<<"$headers")
  if [[ -z $chars ]]; then
    fail "$name" "no DllCharacteristics in the optional header"
  else
    (( 16#$chars & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE )) ||
      fail "$name" "DllCharacteristics 0x$chars lacks DYNAMIC_BASE"
    (( 16#$chars & IMAGE_DLLCHARACTERISTICS_NX_COMPAT )) ||
      fail "$name" "DllCharacteristics 0x$chars lacks NX_COMPAT"
    # The fault guard's handler lives in the image: the platform would
    # refuse it in an image marked as having none.
    (( 16#$chars & IMAGE_DLLCHARACTERISTICS_NO_SEH )) &&
      fail "$name" "DllCharacteristics 0x$chars has NO_SEH"
  fi

  # Resources: exactly one manifest, ID 1 (a second one, such as a default
  # manifest the toolchain links in, would leave the choice to the loader);
  # one version resource.
  local type leaves names manifests=0 versions=0
  while read -r type leaves names; do
    [[ $type == 0x* ]] || continue
    if (( type == RT_MANIFEST )); then
      manifests=$leaves
      [[ $names == 0x000001 ]] || fail "$name" "manifest resource names are '$names', not ID 1 alone"
    elif (( type == RT_VERSION )); then
      versions=$leaves
    fi
  done < <(resource_types "$(sed -n '/Resource Directory section/,$p' <<<"$headers")")
  (( manifests == 1 )) || fail "$name" "$manifests manifest resources (type 24), not 1"
  (( versions == 1 )) || fail "$name" "$versions version resources (type 16), not 1"

  # What the resources say.
  local rc
  if ! rc=$("$WINDRES" -J coff -i "$exe" -O rc 2>&1); then
    fail "$name" "windres cannot read its resources: $rc"
  else
    local manifest
    manifest=$(sed -n '/^1 24/,/^END/p' <<<"$rc")
    grep -q 'requestedExecutionLevel level=""requireAdministrator"" uiAccess=""false""' <<<"$manifest" ||
      fail "$name" "manifest does not require administrator (uiAccess false)"
    grep -q 'Microsoft.Windows.Common-Controls' <<<"$manifest" &&
      fail "$name" "manifest depends on common controls 6"
    grep -q '<dpiAware[^>]*>true</dpiAware>' <<<"$manifest" ||
      fail "$name" "manifest does not declare system DPI awareness"
    local id
    for id in $SUPPORTED_OS_IDS; do
      grep -qi "supportedOS Id=\"\"{$id}\"\"" <<<"$manifest" ||
        fail "$name" "manifest lacks supportedOS {$id}"
    done

    local key
    for key in $VERSION_KEYS; do
      grep -q "VALUE \"$key\", \"[^\"]" <<<"$rc" || fail "$name" "version resource lacks $key"
    done
    grep -q 'VALUE "Translation", 0x409, 1252' <<<"$rc" ||
      fail "$name" "version resource lacks Translation 0x0409 1252"
    local original
    original=$(sed -n 's/.*VALUE "OriginalFilename", "\([^"]*\)".*/\1/p' <<<"$rc")
    [[ ${original,,} == "${name,,}" ]] ||
      fail "$name" "OriginalFilename is '$original'"
  fi

  # Size.
  local size
  size=$(stat -c %s "$exe")
  echo "$name: $size bytes (budget $limit)"
  if (( budget && size > limit )); then
    fail "$name" "$size bytes, over the budget of $limit"
  fi
}

check_program "$1" 153600 ""
check_program "$2" 51200 "DSETUP"

if (( failures )); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
