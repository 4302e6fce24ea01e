#!/usr/bin/env bash
# The scripts' decisions about this machine (scripts/lib/machine.sh): which
# build the Wine tests run, which packages are installed, and how a package
# mirror that fails is met. apt-get and dpkg are fakes on PATH that keep
# their state in a folder: which packages are installed, which the mirror
# cannot give, how many updates fail.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TORVO_ROOT=$(cd "$here/../.." && pwd)
. "$TORVO_ROOT/scripts/lib/machine.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
export FAKE_STATE="$work/state"
TORVO_APT_PAUSE=0

cat >"$work/bin/dpkg" <<'FAKE'
#!/usr/bin/env bash
case "$1" in
  -s) [ -e "$FAKE_STATE/installed/$2" ] ;;
  --print-foreign-architectures) cat "$FAKE_STATE/arches" ;;
  --add-architecture) echo "$2" >>"$FAKE_STATE/arches" ;;
  *) exit 2 ;;
esac
FAKE
cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE_STATE/calls"
case "$1" in
  update)
    left=$(cat "$FAKE_STATE/update-failures")
    if [ "$left" -gt 0 ]; then echo $((left - 1)) >"$FAKE_STATE/update-failures"; exit 100; fi ;;
  install)
    shift
    packages=()
    for p in "$@"; do case "$p" in -*) ;; *) packages+=("$p") ;; esac; done
    # Like apt: one package it cannot have refuses the whole list.
    for p in "${packages[@]}"; do
      if grep -qx "$p" "$FAKE_STATE/unavailable"; then exit 100; fi
    done
    for p in "${packages[@]}"; do touch "$FAKE_STATE/installed/$p"; done ;;
esac
FAKE
chmod +x "$work/bin/dpkg" "$work/bin/apt-get"
PATH="$work/bin:$PATH"

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# A fresh machine: nothing installed, UPDATE_FAILURES updates fail, the
# mirror cannot give the packages named in UNAVAILABLE.
fresh() {
  rm -rf "$FAKE_STATE"
  mkdir -p "$FAKE_STATE/installed"
  : >"$FAKE_STATE/arches"
  : >"$FAKE_STATE/calls"
  echo "${UPDATE_FAILURES:-0}" >"$FAKE_STATE/update-failures"
  printf '%s\n' ${UNAVAILABLE:-} >"$FAKE_STATE/unavailable"
}
installed() { [ -e "$FAKE_STATE/installed/$1" ]; }
all_required_installed() {
  local p
  for p in "${TORVO_PACKAGES_REQUIRED[@]}"; do installed "$p" || return 1; done
}
asked_for() { grep -q -- "$1" "$FAKE_STATE/calls"; }
torvo_is_root() { true; }
torvo_wine32_installed() { installed wine32:i386; }

# Which build the Wine tests run: kernel runs 32-bit, wine32 there, override.
preset_case() {
  local kernel=$1 wine32=$2 override=$3 want=$4
  fresh
  [ "$wine32" = 1 ] && touch "$FAKE_STATE/installed/wine32:i386"
  [ "$(TORVO_KERNEL_RUNS_32BIT=$kernel TORVO_WINE_PRESET=$override torvo_wine_preset)" = "$want" ]
}
check "32-bit kernel with wine32: win32" preset_case 1 1 "" win32
check "32-bit kernel without wine32: win64" preset_case 1 0 "" win64
check "64-bit-only kernel, wine32 or not: win64" preset_case 0 1 "" win64
check "TORVO_WINE_PRESET wins" preset_case 1 1 win64 win64
check "the reason names the kernel" \
  test "$(TORVO_KERNEL_RUNS_32BIT=0 torvo_wine_preset_reason)" = "this kernel runs no 32-bit programs"

# The probe of the kernel answers on this machine, and the preset agrees.
probe_agrees() {
  local runs=0
  (unset TORVO_KERNEL_RUNS_32BIT; torvo_kernel_runs_32bit) && runs=1
  [ "$runs" = 1 ] || [ "$(unset TORVO_KERNEL_RUNS_32BIT TORVO_WINE_PRESET; torvo_wine_preset)" = win64 ]
}
check "the kernel probe runs and the preset follows it" probe_agrees

# Everything installed: no mirror is asked.
nothing_to_do() {
  fresh
  local p
  for p in "${TORVO_PACKAGES_REQUIRED[@]}" "${TORVO_PACKAGES_OPTIONAL[@]}"; do touch "$FAKE_STATE/installed/$p"; done
  TORVO_KERNEL_RUNS_32BIT=0 torvo_install_packages >/dev/null 2>&1 && [ ! -s "$FAKE_STATE/calls" ]
}
check "all installed: apt-get is not called" nothing_to_do

# A 64-bit-only kernel: the update fails twice and is tried again; no i386.
flaky_update() {
  UPDATE_FAILURES=2 fresh
  TORVO_KERNEL_RUNS_32BIT=0 torvo_install_packages >/dev/null 2>&1 && all_required_installed &&
    [ "$(grep -c 'apt-get update' "$FAKE_STATE/calls")" = 3 ] && ! asked_for i386 &&
    [ ! -s "$FAKE_STATE/arches" ]
}
check "an update that fails twice is tried again; no i386 on a 64-bit-only kernel" flaky_update

# The update never succeeds and wine32 cannot be had on a 32-bit kernel: the
# 64-bit packages still arrive, and the run goes on with the win64 build.
no_i386() {
  UPDATE_FAILURES=99 UNAVAILABLE=wine32:i386 fresh
  local out
  out=$(TORVO_KERNEL_RUNS_32BIT=1 torvo_install_packages 2>&1) && all_required_installed &&
    grep -qx i386 "$FAKE_STATE/arches" &&
    grep -q "could not install wine32:i386: the Wine tests run the win64 build" <<<"$out" &&
    [ "$(TORVO_KERNEL_RUNS_32BIT=1 torvo_wine_preset)" = win64 ]
}
check "i386 refused: 64-bit packages installed, win64 chosen, said in one line" no_i386

# A 32-bit kernel where everything can be had: wine32 arrives, win32 runs.
with_i386() {
  fresh
  TORVO_KERNEL_RUNS_32BIT=1 torvo_install_packages >/dev/null 2>&1 && installed wine32:i386 &&
    [ "$(TORVO_KERNEL_RUNS_32BIT=1 torvo_wine_preset)" = win32 ]
}
check "a 32-bit kernel gets wine32 and the win32 build" with_i386

# A required package the mirror cannot give fails the run, naming it; the
# others arrive one by one although apt refused the list.
missing_required() {
  UNAVAILABLE=xvfb fresh
  local out
  ! out=$(TORVO_KERNEL_RUNS_32BIT=0 torvo_install_packages 2>&1) &&
    grep -q "cannot install packages the tests need: xvfb" <<<"$out" && installed wine64 && installed cmake
}
check "a required package that cannot be had fails the run and is named" missing_required

# An optional package that cannot be had is said, and the run goes on.
missing_optional() {
  UNAVAILABLE=imagemagick fresh
  local out
  out=$(TORVO_KERNEL_RUNS_32BIT=0 torvo_install_packages 2>&1) && all_required_installed &&
    grep -q "could not install imagemagick" <<<"$out"
}
check "an optional package that cannot be had does not fail the run" missing_optional

# Not root: missing required packages are named, nothing is installed.
not_root() {
  fresh
  local out
  ! out=$(torvo_is_root() { false; }; TORVO_KERNEL_RUNS_32BIT=0 torvo_install_packages 2>&1) &&
    grep -q "needs root: cmake" <<<"$out" && [ ! -s "$FAKE_STATE/calls" ]
}
check "without root, missing packages are named and nothing is asked" not_root

echo "machine decisions: $failures failed"
[ "$failures" -eq 0 ]
