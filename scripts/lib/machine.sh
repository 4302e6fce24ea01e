# What this machine can run and what the scripts need installed on it.
# Sourced by scripts/test, scripts/run, scripts/wine-ctest and
# scripts/screenshots (through scripts/lib/wine.sh), not run. Each decision is
# a small function that the shell test in tests/scripts/ exercises with a
# fake apt-get and dpkg on PATH.

# The packages every build and test needs, all of them for the machine's own
# architecture: a failure to install any of these fails the run, naming it.
TORVO_PACKAGES_REQUIRED=(cmake ninja-build g++ googletest clang libclang-rt-14-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xauth fonts-liberation)
# Wanted but not needed by the tests (scripts/screenshots takes its pictures
# with ImageMagick): a failure to install them is said and the run goes on.
TORVO_PACKAGES_OPTIONAL=(imagemagick)
# Only where the kernel runs 32-bit programs: Wine for the shipped 32-bit
# build. Without it the Wine tests run the win64 build.
TORVO_PACKAGES_I386=(wine32:i386)

torvo_say() { printf '\n== %s\n' "$*"; }

# True when the kernel runs 32-bit x86 programs. Asks the kernel itself: runs
# a 93-byte static i386 ELF (xor ebx,ebx; mov eax,1; int 0x80: exit(0)) that
# this function carries as data, so nothing needs to be installed. Kernels
# built without IA-32 emulation, or with it switched off, answer "Exec format
# error". TORVO_KERNEL_RUNS_32BIT=0|1 overrides the answer (tests).
torvo_kernel_runs_32bit() {
  case "${TORVO_KERNEL_RUNS_32BIT:-}" in
    1) return 0 ;;
    0) return 1 ;;
  esac
  local dir probe status
  dir=$(mktemp -d) || return 1
  probe="$dir/exit0-i386"
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
  printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >>"$probe"
  printf '\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000' >>"$probe"
  printf '\000\020\000\000\061\333\270\001\000\000\000\315\200' >>"$probe"
  chmod 700 "$probe"
  "$probe" >/dev/null 2>&1
  status=$?
  rm -rf "$dir"
  [ "$status" -eq 0 ]
}

# True when Wine's 32-bit loader is installed and starts.
torvo_wine32_installed() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The build the Wine tests, scripts/run and scripts/screenshots use: win32,
# the program as shipped, where this machine runs it; win64 where the kernel
# runs no 32-bit programs or Wine's 32-bit half is missing.
# TORVO_WINE_PRESET=win32|win64 overrides the choice.
torvo_wine_preset() {
  if [ -n "${TORVO_WINE_PRESET:-}" ]; then
    echo "$TORVO_WINE_PRESET"
  elif torvo_kernel_runs_32bit && torvo_wine32_installed; then
    echo win32
  else
    echo win64
  fi
}

# Why the Wine tests run the win64 build, in one line (empty for win32).
torvo_wine_preset_reason() {
  if [ "$(torvo_wine_preset)" = win32 ]; then
    return 0
  elif [ -n "${TORVO_WINE_PRESET:-}" ]; then
    echo "TORVO_WINE_PRESET asks for win64"
  elif ! torvo_kernel_runs_32bit; then
    echo "this kernel runs no 32-bit programs"
  else
    echo "Wine's 32-bit part (wine32:i386) is not installed"
  fi
}

torvo_is_root() { [ "$(id -u)" -eq 0 ]; }

# Prints the packages of the arguments that dpkg does not know as installed.
torvo_missing_packages() {
  local p
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || echo "$p"
  done
}

# apt-get update, tried a few times with a pause: a mirror whose index is
# being synchronised often answers again a minute later. Its failure does not
# end the run: the indexes that did arrive may hold every package we need.
torvo_apt_update() {
  local tries=${TORVO_APT_TRIES:-3} pause=${TORVO_APT_PAUSE:-10} i
  for ((i = 1; i <= tries; i++)); do
    if apt-get update -q; then return 0; fi
    if [ "$i" -lt "$tries" ]; then
      echo "apt-get update failed (try $i of $tries); trying again in ${pause}s" >&2
      sleep "$pause"
    fi
  done
  echo "apt-get update failed $tries times; installing from the indexes that arrived" >&2
  return 1
}

# Installs the packages of the arguments: all at once, and when apt refuses
# the whole list (one package it cannot have is enough), each on its own so
# that the others still arrive. Returns non-zero when any is still missing.
torvo_apt_install() {
  [ $# -eq 0 ] && return 0
  if apt-get install -y -q --no-install-recommends "$@"; then return 0; fi
  local p
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 && continue
    apt-get install -y -q --no-install-recommends "$p" || echo "could not install $p" >&2
  done
  [ -z "$(torvo_missing_packages "$@")" ]
}

# Installs what the scripts need and is missing; asks no mirror when nothing
# is. The 64-bit packages come first and on their own, so that a failure of
# the i386 ones (an index being synchronised, versions that do not match the
# amd64 libraries) cannot block them; the i386 ones are wanted only where the
# kernel runs 32-bit programs. Fails, naming them, when required packages
# cannot be had.
torvo_install_packages() {
  local need32=0 missing=() optional=() missing32=()
  mapfile -t missing < <(torvo_missing_packages "${TORVO_PACKAGES_REQUIRED[@]}")
  mapfile -t optional < <(torvo_missing_packages "${TORVO_PACKAGES_OPTIONAL[@]}")
  if torvo_kernel_runs_32bit; then
    need32=1
    mapfile -t missing32 < <(torvo_missing_packages "${TORVO_PACKAGES_I386[@]}")
  fi
  if [ ${#missing[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ]; then
    return 0
  fi
  torvo_say "installing: ${missing[*]} ${optional[*]} ${missing32[*]}"
  if ! torvo_is_root; then
    if [ ${#missing[@]} -ne 0 ]; then
      echo "missing packages, and installing them needs root: ${missing[*]}" >&2
      return 1
    fi
    echo "not root: going on without ${optional[*]} ${missing32[*]}" >&2
    return 0
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [ "$need32" = 1 ] && [ ${#missing32[@]} -ne 0 ] &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  torvo_apt_update || true

  torvo_apt_install "${missing[@]}" || true
  mapfile -t missing < <(torvo_missing_packages "${TORVO_PACKAGES_REQUIRED[@]}")
  if [ ${#missing[@]} -ne 0 ]; then
    echo "cannot install packages the tests need: ${missing[*]}" >&2
    return 1
  fi
  if [ ${#optional[@]} -ne 0 ] && ! torvo_apt_install "${optional[@]}"; then
    echo "could not install ${optional[*]}: the tests run without it (scripts/screenshots needs it)" >&2
  fi
  if [ ${#missing32[@]} -ne 0 ] && ! torvo_apt_install "${missing32[@]}"; then
    echo "could not install ${missing32[*]}: the Wine tests run the win64 build" >&2
  fi
  return 0
}
