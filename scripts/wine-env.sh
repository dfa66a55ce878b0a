# Sourced by the scripts: an isolated Wine prefix under the build folder, one wineserver kept
# alive for the whole run, and an X display (Xvfb when there is none, or when asked with
# FINISHINSTALL_XVFB=1). Call wine_env_start BUILD_DIR; wine_env_stop runs on exit.

WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)

wine_env_start() {
  local build_dir=$1
  export WINEPREFIX="$build_dir/wineprefix"
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
  export WINEARCH=win64
  if [ -z "${DISPLAY:-}" ] || [ "${FINISHINSTALL_XVFB:-0}" = 1 ]; then
    local n=$(( 90 + RANDOM % 100 ))
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
  fi
  # A Wine desktop started before the X server answers stays broken for the whole run.
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  trap wine_env_stop EXIT
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Wine's services inherit output handles: send them to a file, never to a pipe we wait on.
    "$WINE64" wineboot -i >"$build_dir/wineboot.log" 2>&1 || true
  fi
  wineserver -p >/dev/null 2>&1 &
  "$WINE64" wineboot >/dev/null 2>&1 || true
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
}
