#!/bin/bash
# Installs what building and testing need on Debian or Ubuntu. Safe to run
# again: it only installs or registers what is missing. One line a step on
# the console; apt's own output goes to build/logs/setup.log.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
steps_begin setup build/logs/setup.log

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
. /etc/os-release
binfmt=/proc/sys/fs/binfmt_misc
handler="$binfmt/qemu-i386"

packages=(
  cmake ninja-build
  g++-mingw-w64-i686-posix
  googletest
  wine wine32:i386 wine64
  xvfb xauth x11-utils
  imagemagick
  locales
  git zip unzip osslsigncode openssl   # the release zip: its date, signing, checks
)

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# The package indexes. A mirror being synced serves some index files that
# don't match its release file; apt then leaves those out and fails, though
# the rest is usable: the install is still tried, and those indexes are
# named only if it fails. Their addresses are kept in failed_indexes.
failed_indexes=""
indexes_updated=0
update_indexes() {
  [ "$indexes_updated" = 1 ] && return 0
  local out
  if ! out="$($SUDO apt-get update -qq 2>&1 </dev/null)"; then
    printf '%s\n' "$out" >>"$steps_log"
    failed_indexes="$(sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' <<<"$out" | tr '\n' ' ')"
    [ -n "$failed_indexes" ] || step_failed "apt-get update"
  else
    printf '%s\n' "$out" >>"$steps_log"
  fi
  indexes_updated=1
}

# apt-get install "$@"; on a failure the step's report (see steps.sh).
install_packages() {
  update_indexes
  quietly $SUDO apt-get install -y -qq --no-install-recommends "$@" && return 0
  [ -n "$failed_indexes" ] || step_failed "apt-get install"
  # Without a foreign architecture's index of an update suite, its
  # packages can't match the versions installed from that suite for the
  # machine's own; from the release's own suite both architectures agree.
  echo "setup: retrying the install from the $VERSION_CODENAME suite alone"
  quietly $SUDO apt-get install -y -qq --no-install-recommends -t "$VERSION_CODENAME" "$@" && return 0
  step_failed "could not fetch ${failed_indexes% }: the mirror is being synced; a later run will likely pass"
}

mapfile -t missing < <(missing_packages "${packages[@]}")
if [ "${#missing[@]}" -gt 0 ]; then
  step "installing packages" "2 to 4 minutes"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    quietly $SUDO dpkg --add-architecture i386 || step_failed "dpkg --add-architecture i386"
  fi
  echo "installing: ${missing[*]}" >>"$steps_log"
  install_packages "${missing[@]}"
fi

# Double-byte tests run under code page 932, which Wine takes from the
# Unix locale; the locale must exist for that.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  step "generating the ja_JP.UTF-8 locale"
  { quietly $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen &&
    { grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | quietly $SUDO tee -a /etc/locale.gen; } &&
    quietly $SUDO locale-gen; } || step_failed
fi

# 32-bit Wine needs 32-bit Linux programs to run. Some kernels (and some
# virtual machines) cannot run them; there qemu emulates them, registered
# through binfmt_misc, whose handlers come before the kernel's own loader
# (so one registered by hand makes a native machine emulate, for testing).
# Older qemu (Debian 12's 7.2) crashes Wine's services in a loop; 8.0 and
# newer run the whole suite.
qemu=/usr/bin/qemu-i386-static
qemu_minimum=8

# "10.0.2" from "qemu-i386 version 10.0.2 (Debian ...)".
version_of() { sed -n 's/^qemu-i386 version \([0-9][0-9.]*\).*/\1/p' | head -n1; }
major_of() { echo "${1%%.*}"; }

# The qemu that actually runs 32-bit programs now: the handler (with its F
# flag) keeps the binary it opened when registered, even after an upgrade.
running_qemu_version() { QEMU_VERSION=1 /lib/ld-linux.so.2 2>/dev/null | version_of || true; }

install_emulator() {
  local candidate
  if [ "${ID:-}" = debian ] && [ "$VERSION_CODENAME" = bookworm ]; then
    # Debian 12's own is too old: bookworm-backports, for qemu alone.
    if [ ! -f /etc/apt/sources.list.d/bookworm-backports-qemu.sources ]; then
      quietly $SUDO tee /etc/apt/sources.list.d/bookworm-backports-qemu.sources <<'EOF' || step_failed
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
      quietly $SUDO tee /etc/apt/preferences.d/bookworm-backports-qemu <<'EOF' || step_failed
Package: *
Pin: release n=bookworm-backports
Pin-Priority: -1

Package: qemu-user qemu-user-static qemu-user-binfmt
Pin: release n=bookworm-backports
Pin-Priority: 500
EOF
      indexes_updated=0
    fi
  fi
  update_indexes
  candidate="$(apt-cache policy qemu-user-static | sed -n 's/^ *Candidate: \(.*:\)\?\([0-9][0-9.]*\).*/\2/p')"
  if [ -z "$candidate" ] || [ "$(major_of "$candidate")" -lt "$qemu_minimum" ]; then
    step_failed "this machine cannot run 32-bit programs, and its qemu-user-static (${candidate:-none}) is older than $qemu_minimum.0, which Wine needs"
  fi
  install_packages qemu-user-static
}

[ -e "$binfmt/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
emulated=0
if [ -e "$handler" ] && [ "$(head -n1 "$handler")" = enabled ]; then
  emulated=1   # needed, or registered by hand to test emulation
elif ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  emulated=1
fi

if [ "$emulated" = 1 ]; then
  installed="$( { "$qemu" --version 2>/dev/null || true; } | version_of)"
  if [ -z "$installed" ] || [ "$(major_of "$installed")" -lt "$qemu_minimum" ]; then
    step "setting up the emulator" "about a minute"
    install_emulator
    installed="$("$qemu" --version | version_of)"
  fi
  if [ "$(running_qemu_version)" != "$installed" ] || [ "$(sed -n 's/^interpreter //p' "$handler" 2>/dev/null)" != "$qemu" ]; then
    [ "$steps_current" = "setting up the emulator" ] || step "setting up the emulator"
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    { if [ -e "$handler" ]; then echo -1 | quietly $SUDO tee "$handler"; fi &&
      echo ":qemu-i386:M::$magic:$mask:$qemu:F" | quietly $SUDO tee "$binfmt/register"; } ||
      step_failed "registering $qemu with binfmt_misc"
    echo "setup: 32-bit programs run emulated by qemu-i386 $installed ($qemu, registered with binfmt_misc)"
  fi
  if [ "$(running_qemu_version)" != "$installed" ]; then
    step_failed "32-bit programs still cannot run under qemu-i386 $installed; Wine will not work here"
  fi
fi
echo "setup: ready"
