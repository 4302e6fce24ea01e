# Wine set-up shared by scripts/test, scripts/run and scripts/wine-exec.
# Sourced, not run. Needs TORVO_ROOT.

: "${TORVO_ROOT:?}"

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

# True when this machine can run 32-bit Windows programs (wine32 installed and
# 32-bit Linux programs allowed by the kernel).
torvo_can_run_win32() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Exports WINEPREFIX, WINEARCH, WINELOADER and TORVO_WINE for an architecture.
torvo_wine_env() {
  local arch=$1
  export WINEARCH=$arch
  export WINEPREFIX="${TORVO_WINE_PREFIX_ROOT:-$TORVO_ROOT/build/wine}/$arch"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
  export WINEDEBUG="${WINEDEBUG:--all}"
  if [ "$arch" = win64 ]; then
    TORVO_WINE=/usr/lib/wine/wine64
    export WINELOADER=$TORVO_WINE
    export WINESERVER=/usr/lib/wine/wineserver64
  else
    TORVO_WINE=/usr/lib/wine/wine
    export WINELOADER=$TORVO_WINE
    export WINESERVER=/usr/lib/wine/wineserver32
  fi
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

# Starts Xvfb on a free display when there is no display; sets TORVO_XVFB_PID.
torvo_start_xvfb() {
  TORVO_XVFB_PID=
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  local n
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      setsid Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      TORVO_XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
      done
      echo "Xvfb did not come up on :$n" >&2
      return 1
    fi
  done
  echo "no free X display" >&2
  return 1
}

torvo_stop_xvfb() {
  if [ -n "${TORVO_XVFB_PID:-}" ]; then
    kill "$TORVO_XVFB_PID" 2>/dev/null || true
    TORVO_XVFB_PID=
  fi
}
