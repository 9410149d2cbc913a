#!/usr/bin/env bash
# Ship check of the built programs, without running them:
#   check-binaries.sh [--no-budget] <unravel.exe> <dxprep.exe>
# Each must import system DLLs only (dxprep also DSETUP.dll), say the oldest
# Windows it starts on (unravel Vista, dxprep XP), have ASLR and
# DEP on, be Terminal-Server aware and not be marked as free of exception handlers (NO_SEH), carry
# exactly one manifest (elevated, no common-controls 6), a complete version
# resource and exactly the dialog templates, icon groups and title string
# that its code and the shell rely on, and stay within its size budget.
# Sizes are always printed; --no-budget skips the budget (debug builds).
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

SYSTEM_DLLS="KERNEL32 USER32 GDI32 ADVAPI32 OLE32 SHELL32 MSVCRT NTDLL"
IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE=0x0040
IMAGE_DLLCHARACTERISTICS_NX_COMPAT=0x0100
IMAGE_DLLCHARACTERISTICS_NO_SEH=0x0400
IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE=0x8000
RT_DIALOG=5
RT_STRING=6
RT_GROUP_ICON=14
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

# Prints "<type> <name> <language>" per resource (leaf) from the resource
# directory dump of objdump -p: type entries are indented 3 spaces, name
# entries 5, language entries 7. IDs come as hex (0x000066), names as they
# are (DLG_MASTER).
resource_entries() {
  awk '
    function entry(   s) {
      if (match($0, /\]: [^,]*,/)) return substr($0, RSTART + 3, RLENGTH - 4)
      s = $4; sub(/,$/, "", s); return s
    }
    /^[0-9a-f]+   Entry: / { type = entry(); next }
    /^[0-9a-f]+     Entry: / { name = entry(); next }
    /^[0-9a-f]+       Entry: / { print type, name, entry() }
  ' <<<"$1"
}

# The names of one type's resources, sorted, IDs in decimal, each with its
# language after a slash where asked (DLG_MASTER/1033):
#   resource_names <entries> <type number> [with-language]
resource_names() {
  local type name lang out=()
  while read -r type name lang; do
    [[ $type == 0x* ]] && (( type == $2 )) || continue
    [[ $name == 0x* ]] && name=$((name))
    out+=("$name${3:+/$((lang))}")
  done <<<"$1"
  (( ${#out[@]} )) || return 0
  printf '%s\n' "${out[@]}" | LC_ALL=C sort | paste -sd ' ' -
}

# expect_resources <program> <entries> <type number> <what> <expected names>
# Languages count only where the expected names carry one.
expect_resources() {
  local found
  found=$(resource_names "$2" "$3" ${5//[!\/]/})
  [[ $found == "$5" ]] || fail "$1" "$4 are '$found', not '$5'"
}

# check_program <exe> <size budget in bytes> <extra allowed DLLs>
#               <dialog templates> <icon groups> [<string ID> <its text>]
check_program() {
  local exe=$1 limit=$2 extra=$3 dialogs=$4 icons=$5 string_id=${6:-} string_text=${7:-}
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
    # Else a Remote Desktop host gives it the user's own, writable Windows
    # folder, where the hand-over looks for the uninstaller it starts.
    (( 16#$chars & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE )) ||
      fail "$name" "DllCharacteristics 0x$chars lacks TERMINAL_SERVER_AWARE"
    # The fault guard's handler lives in the image: the platform would
    # refuse it in an image marked as having none.
    (( 16#$chars & IMAGE_DLLCHARACTERISTICS_NO_SEH )) &&
      fail "$name" "DllCharacteristics 0x$chars has NO_SEH"
  fi

  # Resources: exactly one manifest, ID 1 (a second one, such as a default
  # manifest the toolchain links in, would leave the choice to the loader);
  # one version resource. The dialog templates and icon groups are the
  # program's outward interface: exactly those named, no others.
  local entries manifests
  entries=$(resource_entries "$(sed -n '/Resource Directory section/,$p' <<<"$headers")")
  manifests=$(resource_names "$entries" $RT_MANIFEST)
  [[ $manifests == 1 ]] || fail "$name" "manifest resources are '$manifests', not ID 1 alone"
  [[ $(resource_names "$entries" $RT_VERSION) == 1 ]] || fail "$name" "no version resource 1"
  expect_resources "$name" "$entries" $RT_DIALOG "dialog templates" "$dialogs"
  expect_resources "$name" "$entries" $RT_GROUP_ICON "icon groups" "$icons"

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
    if [[ -n $string_id ]]; then
      grep -qF "  $string_id, \"$string_text\"" <<<"$rc" ||
        fail "$name" "string $string_id is not \"$string_text\""
    fi

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

#             program budget  DLLs     dialog templates  icon groups  string
check_program "$1"    153600  ""       "102 104 152"     "103"        57344 "Brenat Windows Application"
check_program "$2"    51200   "DSETUP" "DLG_MASTER/1033" "SETUP_ICON"

# The oldest Windows each program starts on, as its image says: unravel
# Vista (subsystem 6.0), dxprep any the toolchain marks (4.0 and on).
expect_subsystem() {
  local version
  version=$("$OBJDUMP" -p "$1" | awk '$1 == "MajorSubsystemVersion" { major = $2 }
    $1 == "MinorSubsystemVersion" { print major "." $2; exit }')
  [[ $version == "$2" ]] || fail "$(basename "$1")" "subsystem version $version, not $2"
}
expect_subsystem "$1" 6.0
expect_subsystem "$2" 4.0

if (( failures )); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
