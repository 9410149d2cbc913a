#!/bin/bash
# tools/setup.sh when a step fails: the console names the step, shows the
# last 20 lines of its log and no more of apt's output, and says where the
# log is; the log holds all of it. apt-get, dpkg and dpkg-query are stand-ins
# (nothing is installed), and the copy of the tools writes its log in a
# throwaway tree.
#   setup-failure.sh <source dir>
set -u -o pipefail
source_dir=$1
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tools" "$work/bin"
cp "$source_dir/tools/setup.sh" "$source_dir/tools/steps.sh" "$work/tools/"

stand_in() { printf '#!/bin/bash\n%s\n' "$2" >"$work/bin/$1"; chmod +x "$work/bin/$1"; }
stand_in dpkg-query 'exit 1'   # nothing installed
stand_in dpkg '[ "$1" = --print-foreign-architectures ] && echo i386; exit 0'
stand_in sudo 'exec "$@"'
stand_in locale 'echo ja_JP.utf8'
# APT_UPDATE and APT_INSTALL: ok, or fail after 30 numbered lines, or (for
# update) a mirror in the middle of a sync.
stand_in apt-get '
case "$1" in update) how=$APT_UPDATE ;; *) how=$APT_INSTALL ;; esac
[ "$how" = ok ] && exit 0
for i in $(seq 1 30); do echo "$1 line $i"; done
[ "$how" = mirror ] && echo "E: Failed to fetch http://mirror.test/dists/x/i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress? [IP: 1 80]"
exit 100'

# name | update | install | what the console must say (a pattern per line, ;-separated)
cases=(
  'update fails|fail|ok|^setup: installing packages failed: apt-get update$;^update line 11$;^update line 30$'
  'install fails|ok|fail|^setup: installing packages failed: apt-get install$;^install line 11$;^install line 30$'
  'mirror in a sync|mirror|fail|^setup: retrying the install from the [a-z]+ suite alone$;^setup: installing packages failed: could not fetch http://mirror.test/dists/x/i386/Packages.xz: the mirror is being synced; a later run will likely pass$;^install line 30$'
)

failures=0
for row in "${cases[@]}"; do
  IFS='|' read -r name update install expected <<<"$row"
  rm -rf "$work/build"
  out="$(cd / && PATH="$work/bin:$PATH" APT_UPDATE=$update APT_INSTALL=$install bash "$work/tools/setup.sh" 2>&1)"
  status=$?
  fail() { echo "FAIL ($name): $1"; printf '%s\n' "$out" | sed 's/^/  | /'; failures=$((failures + 1)); }
  [ "$status" -ne 0 ] || fail "setup.sh succeeded"
  IFS=';' read -ra patterns <<<"$expected"
  for p in "${patterns[@]}" '^setup: installing packages \(usually [^)]*\)\.\.\.$' \
           '^---- the last 20 lines of build/logs/setup.log:$' '^---- \(the whole log: build/logs/setup.log\)$'; do
    grep -Eq "$p" <<<"$out" || fail "no line matching $p"
  done
  grep -Eq ' line (1|10)$' <<<"$out" && fail "more than the log's last 20 lines on the console"
  [ "$(wc -l <<<"$out")" -le 26 ] || fail "$(wc -l <<<"$out") lines on the console"
  grep -Eqx '(update|install) line 1' "$work/build/logs/setup.log" 2>/dev/null ||
    fail "the log lacks apt's first line"
done
[ "$failures" -eq 0 ] && echo "setup's failure report: ${#cases[@]} cases pass"
exit "$((failures > 0))"
