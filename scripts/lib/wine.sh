# Wine set-up shared by scripts/test, scripts/run, scripts/wine-ctest,
# scripts/wine-exec and scripts/screenshots. Sourced, not run. Needs
# TORVO_ROOT.

: "${TORVO_ROOT:?}"
. "$TORVO_ROOT/scripts/lib/machine.sh"

# The PE machine of a Windows program: "win32" (i386) or "win64" (x86-64).
torvo_pe_arch() {
  local file=$1 offset machine
  offset=$(od -An -t u4 -j 60 -N 4 "$file" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || { echo unknown; return; }
  machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$file" 2>/dev/null | tr -d ' ')
  case "$machine" in
    014c) echo win32 ;;
    8664) echo win64 ;;
    *) echo unknown ;;
  esac
}

# Exports WINEPREFIX, WINEARCH, WINELOADER, WINESERVER and TORVO_WINE for an
# architecture. The prefix lives under TORVO_WINE_PREFIX_ROOT (default
# build/wine/), one per architecture.
torvo_wine_env() {
  local arch=$1
  export WINEARCH=$arch
  export WINEPREFIX="${TORVO_WINE_PREFIX_ROOT:-$TORVO_ROOT/build/wine}/$arch"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
  export WINEDEBUG="${WINEDEBUG:--all}"
  if [ "$arch" = win64 ]; then
    TORVO_WINE=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
  else
    TORVO_WINE=/usr/lib/wine/wine
    export WINESERVER=/usr/lib/wine/wineserver32
  fi
  export WINELOADER=$TORVO_WINE
  [ -x "$WINESERVER" ] || export WINESERVER=/usr/lib/wine/wineserver
  export TORVO_WINE
}

# Makes the prefix once: no window manager decorations (hiding a window would
# otherwise stall), Arial mapped to Liberation Sans for GDI+.
torvo_prepare_prefix() {
  if [ ! -f "$WINEPREFIX/.torvo-ready" ]; then
    echo "== preparing the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$TORVO_WINE" wineboot -i >/dev/null 2>&1 || true
    "$WINESERVER" -w || true
    "$TORVO_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    "$TORVO_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    "$TORVO_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1
    "$TORVO_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v Arial /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1
    "$WINESERVER" -w || true
    touch "$WINEPREFIX/.torvo-ready"
  fi
}

# Keeps a wineserver running for the prefix so that each program starts fast.
# Detached from our pipes, or a pipeline reading our output would never end.
torvo_start_wineserver() {
  setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1 &
  disown 2>/dev/null || true
  # The first program also starts Wine's services; start them here, away from
  # any pipe, so that they never hold a caller's output open.
  setsid "$TORVO_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

torvo_stop_wineserver() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
}

TORVO_XVFB_PIDS=()

# Starts an Xvfb of its own on a display the X server picks free (so that
# scripts running side by side never race for one); sets TORVO_NEW_DISPLAY.
torvo_new_xvfb() {
  local number i
  number=$(mktemp)
  setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number" </dev/null >/dev/null 2>&1 &
  TORVO_XVFB_PIDS+=($!)
  for i in $(seq 1 100); do
    if [ -s "$number" ]; then
      TORVO_NEW_DISPLAY=":$(tr -d '[:space:]' <"$number")"
      rm -f "$number"
      return 0
    fi
    sleep 0.1
  done
  rm -f "$number"
  echo "Xvfb did not come up" >&2
  return 1
}

# Starts Xvfb when there is no display, and exports DISPLAY.
torvo_start_xvfb() {
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  torvo_new_xvfb || return 1
  export DISPLAY=$TORVO_NEW_DISPLAY
}

torvo_stop_xvfb() {
  local pid
  for pid in "${TORVO_XVFB_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  TORVO_XVFB_PIDS=()
}

# Wine lanes: N Wine environments side by side, each with its own prefix,
# wineserver and Xvfb, so that N Wine tests can run at once without sharing
# windows, named kernel objects, settings folders or the mouse. Lane 1 is also
# the caller's own environment (CTest lists the tests there) and keeps the
# usual prefix. Writes TORVO_WINE_LANES_DIR/laneI.env for scripts/wine-exec
# and the resource file CTest hands the lanes out by (a Wine test asks for
# one "wine" slot).
torvo_start_wine_lanes() {
  local preset=$1 count=$2 i root lanes="$TORVO_ROOT/build/wine-lanes/$1" pids=()
  export TORVO_WINE_LANES_DIR=$lanes
  mkdir -p "$lanes"
  {
    printf '{"version": {"major": 1, "minor": 0}, "local": [{"wine": ['
    for ((i = 1; i <= count; i++)); do
      [ "$i" -gt 1 ] && printf ', '
      printf '{"id": "lane%d", "slots": 1}' "$i"
    done
    printf ']}]}\n'
  } >"$lanes/resources.json"
  for ((i = 1; i <= count; i++)); do
    torvo_new_xvfb || return 1
    # Lane 1 keeps the usual prefix, which scripts/wine-exec uses outside CTest.
    root="$TORVO_ROOT/build/wine"
    [ "$i" -gt 1 ] && root="$root/lane$i"
    {
      echo "export DISPLAY=$TORVO_NEW_DISPLAY"
      echo "export TORVO_WINE_PREFIX_ROOT=$root"
    } >"$lanes/lane$i.env"
    # Each prefix is prepared in its own process: wineboot takes a while.
    (
      . "$lanes/lane$i.env"
      torvo_wine_env "$preset"
      torvo_prepare_prefix
      torvo_start_wineserver
    ) &
    pids+=($!)
  done
  for i in "${pids[@]}"; do wait "$i" || return 1; done
  . "$lanes/lane1.env"
  torvo_wine_env "$preset"
}

torvo_stop_wine_lanes() {
  local preset=$1 env
  for env in "${TORVO_WINE_LANES_DIR:-/nonexistent}"/lane*.env; do
    [ -f "$env" ] || continue
    (
      . "$env"
      torvo_wine_env "$preset"
      torvo_stop_wineserver
    )
  done
  torvo_stop_xvfb
}

# In a test CTest started with a lane (CTEST_RESOURCE_GROUP_0_WINE is
# "id:laneN,slots:1"), takes that lane's display and prefix.
torvo_enter_wine_lane() {
  local lane=${CTEST_RESOURCE_GROUP_0_WINE:-}
  [ -n "$lane" ] && [ -n "${TORVO_WINE_LANES_DIR:-}" ] || return 0
  lane=${lane#id:}
  lane=${lane%%,*}
  if [ -f "$TORVO_WINE_LANES_DIR/$lane.env" ]; then
    . "$TORVO_WINE_LANES_DIR/$lane.env"
  fi
}
